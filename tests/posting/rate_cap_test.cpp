#include "posting/rate_cap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "support/loop_runner.h"

namespace tidewell {
namespace {

constexpr std::uint32_t kWriteMessage = 7001;

// A writer whose socket takes everything: it asks the cap before each write
// and writes again at once, until the cap makes it wait for its message.
class Writer {
 public:
  Writer(test::LoopRunner& runner, RateCap& cap, std::size_t writeSize, std::map<std::int64_t, std::int64_t>& log)
      : runner_(runner), cap_(cap), writeSize_(writeSize), log_(log) {
    target_ = runner_.loop.createTarget([this](const Message&) { write(); });
  }
  ~Writer() { runner_.loop.destroyTarget(target_); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void start() { runner_.loop.post(target_, kWriteMessage); }
  std::int64_t written = 0;

 private:
  void write() {
    const std::size_t allowed = cap_.allow(writeSize_, {target_, kWriteMessage, 0});
    if (allowed == 0) {
      return;
    }
    cap_.spend(allowed);
    written += static_cast<std::int64_t>(allowed);
    log_[runner_.clock.monotonicMs()] += static_cast<std::int64_t>(allowed);
    runner_.loop.post(target_, kWriteMessage);
  }

  test::LoopRunner& runner_;
  RateCap& cap_;
  std::size_t writeSize_;
  std::map<std::int64_t, std::int64_t>& log_;
  TargetHandle target_ = kNoTarget;
};

// The most written in any window of `windowMs` (windows starting at a write).
std::int64_t busiestWindow(const std::map<std::int64_t, std::int64_t>& log, std::int64_t windowMs) {
  std::int64_t most = 0;
  std::int64_t sum = 0;
  auto end = log.begin();
  for (auto from = log.begin(); from != log.end(); ++from) {
    for (; end != log.end() && end->first < from->first + windowMs; ++end) {
      sum += end->second;
    }
    most = std::max(most, sum);
    sum -= from->second;
  }
  return most;
}

TEST(RateCap, WritersSharingTheBucketKeepToTheCapOverEveryTenSecondWindow) {
  const struct {
    std::int64_t kib;
    int writers;
    std::size_t writeSize;
  } cases[] = {
      {2000, 1, 256 * 1024}, {2000, 4, 256 * 1024}, {2000, 1, 448},
      {1, 1, 448},           {1, 3, 256 * 1024},    {50000, 8, 256 * 1024},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.kib << " KiB/s, " << c.writers << " writers of " << c.writeSize);
    test::LoopRunner runner;
    RateCap cap(runner.loop);
    cap.configure(c.kib, {});
    std::map<std::int64_t, std::int64_t> log;
    std::vector<std::unique_ptr<Writer>> writers;
    for (int i = 0; i < c.writers; ++i) {
      writers.push_back(std::make_unique<Writer>(runner, cap, c.writeSize, log));
      writers.back()->start();
    }
    runner.advance(30'000);
    const std::int64_t rate = c.kib * 1024;
    std::int64_t total = 0;
    for (const auto& writer : writers) {
      total += writer->written;
    }
    for (const auto& writer : writers) {
      EXPECT_GE(writer->written, total / (4 * c.writers));  // no writer is starved by the others
    }
    // 30 s at the cap, plus the full bucket at the start.
    EXPECT_LE(total, rate * 30 + rate / RateCap::kBurstDivisor);
    EXPECT_GE(total, rate * 30 * 99 / 100);
    EXPECT_LE(busiestWindow(log, 10'000), rate * 10 * 105 / 100);
  }
}

TEST(RateCap, BucketRefillsWithTimeAndHoldsATenthOfASecondAtMost) {
  test::LoopRunner runner;
  RateCap cap(runner.loop);
  const RateWaiter nobody{};
  EXPECT_EQ(cap.allow(1'000'000, nobody), 1'000'000u);  // no cap yet
  cap.configure(100, {});                               // 102400 B/s: a bucket of 10240 bytes
  const struct {
    std::int64_t advanceMs;
    std::size_t wanted;
    std::size_t allowed;
    std::size_t spent;
  } steps[] = {
      {0, 1'000'000, 10240, 10240},   // starts full
      {0, 1, 0, 0},                   // empty
      {1, 1'000'000, 102, 102},       // 1 ms refills 102.4 bytes
      {4, 1'000'000, 410, 400},       // the fraction is kept: 0.4 + 409.6
      {10'000, 1'000'000, 10240, 0},  // a long pause fills it, no more
      {0, 300, 300, 300},
  };
  for (const auto& step : steps) {
    runner.clock.advanceMs(step.advanceMs);
    EXPECT_EQ(cap.allow(step.wanted, nobody), step.allowed) << "at " << runner.clock.monotonicMs() << " ms";
    cap.spend(step.spent);
  }
  EXPECT_EQ(cap.bytesPerSecond(), 102400);
  cap.configure(0, {});
  EXPECT_EQ(cap.allow(5'000'000, nobody), 5'000'000u);
  EXPECT_EQ(cap.bytesPerSecond(), 0);
}

// Moves the clock on to the next moment that is `minute` past local midnight.
void advanceToLocalMinute(test::LoopRunner& runner, int minute) {
  const LocalTime local = runner.clock.localNow();
  const std::int64_t into = local.hour * 3600 + local.minute * 60 + local.second;
  runner.clock.advanceMs(((minute * 60 - into) % 86400 + 86400) % 86400 * 1000);
}

TEST(RateCap, ScheduleTakesOverAsTheClockPassesItsBoundariesAcrossMidnight) {
  test::LoopRunner runner;
  advanceToLocalMinute(runner, 23 * 60 + 58);
  RateCap cap(runner.loop);
  cap.configure(7, parseRateSchedule("08:00-23:59=2000 23:59-00:01=0 00:01-01:00=10").value.value());
  const std::int64_t start = runner.clock.monotonicMs();
  const struct {
    std::int64_t atMs;  // after 23:58 local time
    std::int64_t rate;
  } cases[] = {
      {0, 2000 * 1024},
      {59'999, 2000 * 1024},
      {60'000, 0},
      {120'000, 0},
      {179'999, 0},
      {180'000, 10 * 1024},
      {180'000 + 59 * 60'000, 7 * 1024},
  };
  for (const auto& c : cases) {
    runner.clock.advanceMs(start + c.atMs - runner.clock.monotonicMs());
    EXPECT_EQ(cap.bytesPerSecond(), c.rate) << "at " << c.atMs << " ms";
  }
}

}  // namespace
}  // namespace tidewell
