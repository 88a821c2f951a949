#include "platform/clock.h"

#include <ctime>

namespace tidewell {

LocalTime localTimeOf(std::int64_t epochSeconds) {
  const auto t = static_cast<std::time_t>(epochSeconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalTime Clock::localNow() const {
  return localTimeOf(epochSeconds());
}

std::int64_t SystemClock::monotonicMs() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

std::int64_t SystemClock::epochSeconds() const {
  return static_cast<std::int64_t>(std::time(nullptr));
}

}  // namespace tidewell
