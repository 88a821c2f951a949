#include "posting/progress.h"

#include <gtest/gtest.h>

namespace tidewell {
namespace {

TEST(Progress, KbPerSecondTruncatesHundredths) {
  EXPECT_EQ(acknowledgementText(1, 1, 2000, 3072), "Ok. (1/1 - 0:02 - 1.50 Kb/Sec)");  // 1536 B/s
  EXPECT_EQ(acknowledgementText(2, 3, 1000, 1000), "Ok. (2/3 - 0:01 - 0.97 Kb/Sec)");
  EXPECT_EQ(acknowledgementText(1, 1, 0, 5000), "Ok. (1/1 - 0:00 - 0.00 Kb/Sec)");
  EXPECT_EQ(acknowledgementText(1, 1, 125000, 0), "Ok. (1/1 - 2:05 - 0.00 Kb/Sec)");
  // A quick article (fast posting) shows its rate, not 0.00.
  EXPECT_EQ(acknowledgementText(1, 1, 250, 497), "Ok. (1/1 - 0:00 - 1.94 Kb/Sec)");
  EXPECT_EQ(acknowledgementText(1, 1, 40, 768'000'000), "Ok. (1/1 - 0:00 - 18750000.00 Kb/Sec)");
}

TEST(Progress, StreamingLineIsDashedUntilTheFirstSecondAndHasNoOverflow) {
  EXPECT_EQ(streamingTimeRateText(0, 448, 10000), "0:00 / -:-- - -.-- Kb/Sec");
  EXPECT_EQ(streamingTimeRateText(10, 2500, 10000), "0:10 / 0:30 - 0.24 Kb/Sec");
  // Minutes are not wrapped at 60; a large article's product must not wrap.
  EXPECT_EQ(streamingTimeRateText(3600, 1'000'000'000, 3'000'000'000), "60:00 / 120:00 - 271.26 Kb/Sec");
  EXPECT_EQ(streamingTimeRateText(4000000, 8'000'000'000'000, 9'000'000'000'000),
            "66666:40 / 8333:20 - 1953.12 Kb/Sec");
}

TEST(Progress, TotalEstimateLine) {
  ProgressEstimate progress;
  progress.ResetEstimates(1000, 100);
  EXPECT_EQ(progress.estimatedTotal(), 1460);
  EXPECT_EQ(progress.UpdateElapsed(100), "Elapsed: --:--:-- To Go: --:--:--");
  progress.addPosted(365);
  EXPECT_EQ(progress.UpdateElapsed(110), "Elapsed: 00:00:10 To Go: 00:00:30");
  progress.addPosted(1095);
  EXPECT_EQ(progress.UpdateElapsed(100 + 3725), "Elapsed: 01:02:05");
  EXPECT_EQ(progress.elapsed().hours, 1);
  EXPECT_EQ(progress.elapsed().minutes, 2);
  EXPECT_EQ(progress.elapsed().seconds, 5);
  // A reconnection starts the clock and the figures again.
  progress.ResetEstimates(0, 5000);
  EXPECT_EQ(progress.UpdateElapsed(5010), "Elapsed: --:--:-- To Go: --:--:--");
  EXPECT_EQ(progress.elapsed().seconds, 10);
}

TEST(Progress, EstimateOfLargeDirectoriesDoesNotWrap) {
  ProgressEstimate progress;
  progress.ResetEstimates(3'000'000'000, 0);  // three gigabytes of files
  EXPECT_EQ(progress.estimatedTotal(), 4'380'000'000);
  progress.ResetEstimates(3'000'000'000, 0, true);  // yEnc grows the bytes far less
  EXPECT_EQ(progress.estimatedTotal(), 3'120'000'000);
  progress.ResetEstimates(3'000'000'000, 0);
  progress.addPosted(2'190'000'000);
  EXPECT_EQ(progress.UpdateElapsed(100 * 3600), "Elapsed: 100:00:00 To Go: 100:00:00");
}

}  // namespace
}  // namespace tidewell

namespace tidewell {
namespace {

TEST(Progress, ToGoFollowsTheCapOnlyWhereItIsBelowTheMeasuredRate) {
  const struct {
    std::int64_t elapsed, sent, total, cap, toGo;
  } cases[] = {
      {10, 1000, 3000, 0, 20},     // no cap: the measured rate
      {10, 1000, 3000, 1000, 20},  // a cap above the measured 100 B/s changes nothing
      {10, 1000, 3000, 50, 40},    // a cap below it: 2000 bytes at 50 B/s
      {10, 1000, 3001, 50, 41},    // a part of a second is a second
      {10, 3000, 3000, 50, 0},    {2, 4'000'000'000, 9'000'000'000, 1024, 4'882'813},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(secondsToGo(c.elapsed, c.sent, c.total, c.cap), c.toGo)
        << c.sent << " of " << c.total << " cap " << c.cap;
  }
  EXPECT_EQ(streamingTimeRateText(10, 1000, 3000, 50), "0:10 / 0:40 - 0.09 Kb/Sec");
  ProgressEstimate progress;
  progress.ResetEstimates(1000, 0);  // 1460 bytes estimated
  progress.addPosted(730);
  EXPECT_EQ(progress.UpdateElapsed(10, 0), "Elapsed: 00:00:10 To Go: 00:00:10");
  EXPECT_EQ(progress.UpdateElapsed(10, 10), "Elapsed: 00:00:10 To Go: 00:01:13");
}

}  // namespace
}  // namespace tidewell
