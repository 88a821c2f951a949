#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

// The highest cap, in KiB/s (about 10 GB/s): more than any uplink.
inline constexpr std::int64_t kHighestRateKib = 10'000'000;

// A period of the day with its own cap: from `start` up to (not including)
// `end`, minutes after local midnight. A period whose end is not after its
// start runs past midnight ("23:00-08:00").
struct RatePeriod {
  int start = 0;         // 0 to 1439
  int end = 0;           // 0 to 1440
  std::int64_t kib = 0;  // KiB/s; 0: no cap in this period
  friend bool operator==(const RatePeriod&, const RatePeriod&) = default;
};

struct RateScheduleResult {
  std::optional<std::vector<RatePeriod>> value;
  std::string problem;  // names the fault when there is no value
};

// Reads a MaxRateSchedule value: periods "HH:MM-HH:MM=KIB" separated by
// blanks (or commas), e.g. "08:00-23:00=2000 23:00-08:00=0". Hours 00 to 23
// (24:00 as an end), a rate from 0 to kHighestRateKib. An empty text is an
// empty schedule. A period that starts where it ends, or periods that
// overlap, are refused: which cap held would be a guess.
[[nodiscard]] RateScheduleResult parseRateSchedule(std::string_view text);

// The cap at `minute` of the day (0 to 1439): the rate of the period that
// holds it, or `fallback` (MaxRate) when none does.
[[nodiscard]] std::int64_t scheduledRate(std::span<const RatePeriod> periods, int minute, std::int64_t fallback);

}  // namespace tidewell
