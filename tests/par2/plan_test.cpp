#include "par2/plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tidewell::par2 {
namespace {

constexpr std::uint64_t kMiB = 1 << 20;

struct PlanCase {
  const char* label;
  std::vector<std::uint64_t> sizes;
  std::uint64_t sliceSize;
  std::uint64_t preferred;
  int redundancy;
  std::uint64_t memory;
  // Expected: an error containing `error`, or these figures.
  const char* error;
  std::uint64_t expectSlice;
  std::uint32_t expectSlices;
  std::uint32_t expectRecovery;
  std::uint32_t expectPasses;
};

TEST(Plan, SliceSizeCountsAndPasses) {
  const PlanCase cases[] = {
      {"redundancy below 0", {1000}, 0, 0, -1, 256 * kMiB, "redundancy must be 0 to 100", 0, 0, 0, 0},
      {"redundancy above 100", {1000}, 0, 0, 101, 256 * kMiB, "redundancy must be 0 to 100", 0, 0, 0, 0},
      {"slice not a multiple of 4", {1000}, 1001, 0, 10, 256 * kMiB, "multiple of 4", 0, 0, 0, 0},
      {"slice too small for the files", {200000}, 4, 0, 10, 256 * kMiB, "more than 32768", 0, 0, 0, 0},
      {"too many files", std::vector<std::uint64_t>(32769, 1), 0, 0, 10, 256 * kMiB, "at most 32768 files", 0, 0, 0, 0},
      {"as many files as slices allowed", std::vector<std::uint64_t>(32768, 1), 0, 0, 10, 256 * kMiB, nullptr, 20,
       32768, 3277, 1},
      {"given size", {10000, 0, 3}, 1000, 0, 10, 256 * kMiB, nullptr, 1000, 11, 1, 1},
      {"chosen: about 2000 slices", {100000000}, 0, 0, 10, 256 * kMiB, nullptr, 50000, 2000, 200, 1},
      {"chosen: article size", {256 * kMiB}, 0, 716800, 10, 256 * kMiB, nullptr, 716800, 375, 38, 1},
      {"chosen: article size rounded to 4", {100000}, 0, 1001, 10, 256 * kMiB, nullptr, 1000, 100, 10, 1},
      {"chosen: twice the article size",
       {30000000000ull},
       0,
       716800,
       10,
       256 * kMiB,
       nullptr,
       1433600,
       20927,
       2093,
       12},
      {"recovery over three passes", {250000}, 1000, 0, 10, 10000, nullptr, 1000, 250, 25, 3},
      {"no redundancy", {5000}, 1000, 0, 0, 256 * kMiB, nullptr, 1000, 5, 0, 1},
      {"at least one recovery slice", {5000}, 1000, 0, 1, 256 * kMiB, nullptr, 1000, 5, 1, 1},
      {"only empty files", {0, 0}, 0, 0, 10, 256 * kMiB, nullptr, 4, 0, 0, 1},
  };
  for (const PlanCase& c : cases) {
    PlanRequest request;
    request.fileSizes = c.sizes;
    request.sliceSize = c.sliceSize;
    request.preferredSliceSize = c.preferred;
    request.redundancyPercent = c.redundancy;
    request.memoryLimit = c.memory;
    Plan plan;
    const std::string error = makePlan(request, plan);
    if (c.error != nullptr) {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.label << ": " << error;
      continue;
    }
    ASSERT_EQ(error, "") << c.label;
    EXPECT_EQ(plan.sliceSize, c.expectSlice) << c.label;
    EXPECT_EQ(plan.sourceSliceCount, c.expectSlices) << c.label;
    EXPECT_EQ(plan.recoveryCount, c.expectRecovery) << c.label;
    EXPECT_EQ(plan.passCount, c.expectPasses) << c.label;
    EXPECT_LE(static_cast<std::uint64_t>(plan.recoveryPerPass) * plan.sliceSize, std::max(c.memory, plan.sliceSize))
        << c.label;
  }
}

}  // namespace
}  // namespace tidewell::par2
