#include "settings/rate_schedule.h"

#include <bitset>

namespace tidewell {

namespace {

constexpr int kMinutesPerDay = 24 * 60;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// "HH:MM" as minutes of the day; 24:00 only where `endOfPeriod`.
std::optional<int> clockMinutes(std::string_view text, bool endOfPeriod) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon > 2 || text.size() != colon + 3) {
    return std::nullopt;
  }
  for (const char c : text) {
    if (c != ':' && !isDigit(c)) {
      return std::nullopt;
    }
  }
  const int hours = colon == 1 ? text[0] - '0' : (text[0] - '0') * 10 + (text[1] - '0');
  const int minutes = (text[colon + 1] - '0') * 10 + (text[colon + 2] - '0');
  if (minutes > 59 || hours > 24 || (hours == 24 && (minutes != 0 || !endOfPeriod))) {
    return std::nullopt;
  }
  return hours * 60 + minutes;
}

std::optional<std::int64_t> rateKib(std::string_view text) {
  if (text.empty() || text.size() > 12) {
    return std::nullopt;
  }
  std::int64_t value = 0;
  for (const char c : text) {
    if (!isDigit(c)) {
      return std::nullopt;
    }
    value = value * 10 + (c - '0');
  }
  if (value > kHighestRateKib) {
    return std::nullopt;
  }
  return value;
}

bool holds(const RatePeriod& period, int minute) {
  if (period.start < period.end) {
    return minute >= period.start && minute < period.end;
  }
  return minute >= period.start || minute < period.end;  // past midnight
}

std::string periodProblem(std::string_view period, std::string_view fault) {
  return "The MAX RATE SCHEDULE period \"" + std::string(period) + "\" " + std::string(fault) +
         " Write periods as HH:MM-HH:MM=KiB/s, e.g. 08:00-23:00=2000 23:00-08:00=0.";
}

}  // namespace

RateScheduleResult parseRateSchedule(std::string_view text) {
  std::vector<RatePeriod> periods;
  std::bitset<kMinutesPerDay> taken;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t begin = text.find_first_not_of(" \t,", at);
    if (begin == std::string_view::npos) {
      break;
    }
    std::size_t stop = text.find_first_of(" \t,", begin);
    if (stop == std::string_view::npos) {
      stop = text.size();
    }
    const std::string_view item = text.substr(begin, stop - begin);
    at = stop;
    const std::size_t dash = item.find('-');
    const std::size_t equals = item.find('=');
    if (dash == std::string_view::npos || equals == std::string_view::npos || equals < dash) {
      return {std::nullopt, periodProblem(item, "is not of the form START-END=RATE.")};
    }
    const std::string_view startText = item.substr(0, dash);
    const std::string_view endText = item.substr(dash + 1, equals - dash - 1);
    const std::optional<int> start = clockMinutes(startText, false);
    if (!start) {
      return {std::nullopt, periodProblem(item, "has a start \"" + std::string(startText) +
                                                    "\" that is not a time from 00:00 to 23:59.")};
    }
    const std::optional<int> end = clockMinutes(endText, true);
    if (!end) {
      return {std::nullopt, periodProblem(item, "has an end \"" + std::string(endText) +
                                                    "\" that is not a time from 00:00 to 24:00.")};
    }
    const std::optional<std::int64_t> kib = rateKib(item.substr(equals + 1));
    if (!kib) {
      return {std::nullopt, periodProblem(item, "has a rate \"" + std::string(item.substr(equals + 1)) +
                                                    "\" that is not a number of KiB/s from 0 to " +
                                                    std::to_string(kHighestRateKib) + ".")};
    }
    const RatePeriod period{*start, *end, *kib};
    if (period.start == period.end) {
      return {std::nullopt, periodProblem(item, "starts where it ends.")};
    }
    const int length =
        period.end > period.start ? period.end - period.start : period.end + kMinutesPerDay - period.start;
    for (int i = 0; i < length; ++i) {
      const auto minute = static_cast<std::size_t>((period.start + i) % kMinutesPerDay);
      if (taken.test(minute)) {
        return {std::nullopt, periodProblem(item, "overlaps an earlier period.")};
      }
      taken.set(minute);
    }
    periods.push_back(period);
  }
  return {std::move(periods), ""};
}

std::int64_t scheduledRate(std::span<const RatePeriod> periods, int minute, std::int64_t fallback) {
  for (const RatePeriod& period : periods) {
    if (holds(period, minute)) {
      return period.kib;
    }
  }
  return fallback;
}

}  // namespace tidewell
