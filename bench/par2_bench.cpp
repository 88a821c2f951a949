// Writes a PAR2 set for files of a folder with the recovery library, as
// bench/par2 runs it:
//   par2_bench DIR OUT SLICE_BYTES REDUNDANCY_PERCENT THREADS FILE...
// and prints one line: slice=.. sources=.. recovery=.. threads=.. kernel=..
// seconds=.. cpu=..
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "par2/file_set.h"

namespace {

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 7) {
    std::fprintf(stderr, "usage: par2_bench DIR OUT SLICE_BYTES REDUNDANCY_PERCENT THREADS FILE...\n");
    return 2;
  }
  using namespace tidewell::par2;
  const std::string directory = argv[1];
  PlanRequest request;
  request.sliceSize = std::strtoull(argv[3], nullptr, 10);
  request.redundancyPercent = std::atoi(argv[4]);
  SetOptions options;
  options.directory = argv[2];
  options.name = "bench";
  options.threads = static_cast<unsigned>(std::atoi(argv[5]));
  const std::vector<std::string> names(argv + 6, argv + argc);

  const auto start = std::chrono::steady_clock::now();
  const FileSetReport report = makeSetFromFiles(directory, names, request, options);
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  if (!report.result.written) {
    std::fprintf(stderr, "par2_bench: %s\n", report.result.error.c_str());
    return 1;
  }
  std::printf("slice=%llu sources=%u recovery=%u threads=%u kernel=%s seconds=%.3f cpu=%.3f\n",
              static_cast<unsigned long long>(report.plan.sliceSize), report.plan.sourceSliceCount,
              report.plan.recoveryCount, report.threads, tidewell::gf16::kernelName(options.kernel), elapsed.count(),
              cpuSeconds());
  return 0;
}
