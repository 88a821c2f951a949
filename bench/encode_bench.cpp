// Encodes one file with the program's encoder and reports the time taken
// and the process's peak resident memory, for bench/encode.
//
//   encode_bench DIRECTORY NAME OUTPUT          uuencode (text files as text)
//   encode_bench --yenc SOURCE OUTPUT [PART]    yEnc, PART source bytes per
//                                               part (default 716800)
//   prints: seconds=<s> peak_kb=<kB> cpu=<user + system seconds>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "upload/encoder.h"
#include "upload/yenc.h"

namespace {

constexpr std::int32_t kDefaultPartBytes = 716800;

int encode(int argc, char** argv) {
  if (argc >= 4 && std::string_view(argv[1]) == "--yenc") {
    const std::int32_t part = argc >= 5 ? static_cast<std::int32_t>(std::atol(argv[4])) : kDefaultPartBytes;
    return tidewell::yencEncodeFile(argv[2], "source.bin", argv[3], part);
  }
  return tidewell::encodeFile(argv[1], argv[2], argv[3]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::string_view(argv[1]) == "--yenc")) {
    std::fprintf(stderr,
                 "usage: encode_bench DIRECTORY NAME OUTPUT\n       encode_bench --yenc SOURCE OUTPUT [PART]\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const int result = encode(argc, argv);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (result != tidewell::kEncodeOk) {
    std::fprintf(stderr, "encode_bench: the encoder returned %d\n", result);
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  std::printf("seconds=%.6f peak_kb=%ld cpu=%.6f\n", elapsed.count(), usage.ru_maxrss,
              seconds(usage.ru_utime) + seconds(usage.ru_stime));
  return 0;
}
