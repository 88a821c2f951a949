// Encodes one file with the program's encoder and reports the time taken
// and the process's peak resident memory, for bench/encode.
//
//   encode_bench DIRECTORY NAME OUTPUT
//   prints: seconds=<s> peak_kb=<kB>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "upload/encoder.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: encode_bench DIRECTORY NAME OUTPUT\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const int result = tidewell::encodeFile(argv[1], argv[2], argv[3]);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (result != tidewell::kEncodeOk) {
    std::fprintf(stderr, "encode_bench: encodeFile returned %d\n", result);
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("seconds=%.6f peak_kb=%ld\n", elapsed.count(), usage.ru_maxrss);
  return 0;
}
