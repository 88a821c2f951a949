#pragma once

#include <cstdint>
#include <string>

namespace tidewell {

// Whole hours, minutes and seconds of a span of seconds (hours not wrapped).
struct Hms {
  std::int64_t hours = 0;
  std::int64_t minutes = 0;
  std::int64_t seconds = 0;
};
[[nodiscard]] Hms splitSeconds(std::int64_t seconds);

// A byte rate as "W.HH" Kb/Sec figures: whole = rate / 1024, hundredths of
// the rest truncated (1536 B/s -> 1.50, 1000 B/s -> 0.97).
struct KbRate {
  std::int64_t whole = 0;
  std::int64_t hundredths = 0;
};
[[nodiscard]] KbRate kbRate(std::int64_t bytesPerSecond);

// Seconds still to go for `total` bytes when `sent` took `elapsed` seconds,
// at the rate measured so far, or at `capBytesPerSecond` when a cap (not
// 0) holds the run below that rate.
[[nodiscard]] std::int64_t secondsToGo(std::int64_t elapsed, std::int64_t sent, std::int64_t total,
                                       std::int64_t capBytesPerSecond);

// The Time/Rate line while an article streams: elapsed / to go - rate.
[[nodiscard]] std::string streamingTimeRateText(std::int64_t elapsed, std::int64_t sent, std::int64_t total,
                                                std::int64_t capBytesPerSecond = 0);
// The line appended to an accepted article: "Ok. (i/n - m:ss - W.HH Kb/Sec)",
// from the milliseconds the article took (whole seconds in the default mode,
// so that fast posting's quick articles show their rate rather than 0.00).
[[nodiscard]] std::string acknowledgementText(std::int32_t partIndex, std::int32_t partCount, std::int64_t elapsedMs,
                                              std::int64_t articleSize);

// Session-wide figures: bytes estimated and posted since the last
// (re)connection, and the Total Estimate line. Byte counts are 64-bit: the
// estimate of a few gigabytes of files must not wrap.
class ProgressEstimate {
 public:
  // Restart the session clock; the estimate allows 46% for uuencoding's
  // growth and the article headers, or 4% when the run posts yEnc (its
  // escapes, line ends and headers).
  void ResetEstimates(std::int64_t sourceBytes, std::int64_t now, bool yenc = false);
  void addPosted(std::int64_t bytes) { postedBytes_ += bytes; }
  // Recompute the elapsed time and return the Total Estimate line; "To Go"
  // follows the bandwidth cap where it is below the measured rate.
  [[nodiscard]] std::string UpdateElapsed(std::int64_t now, std::int64_t capBytesPerSecond = 0);

  [[nodiscard]] std::int64_t estimatedTotal() const { return estimatedTotal_; }
  [[nodiscard]] std::int64_t postedBytes() const { return postedBytes_; }
  // The elapsed time as last computed by UpdateElapsed (for the summary).
  [[nodiscard]] const Hms& elapsed() const { return elapsed_; }

 private:
  std::int64_t estimatedTotal_ = 0;
  std::int64_t postedBytes_ = 0;
  std::int64_t sessionStart_ = 0;
  std::int64_t lastUpdate_ = 0;
  Hms elapsed_;
};

}  // namespace tidewell
