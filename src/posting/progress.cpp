#include "posting/progress.h"

#include <cstdio>

#include "platform/text.h"

namespace tidewell {

namespace {
constexpr std::int64_t kEstimateGrowthPercent = 146;
constexpr std::int64_t kYencEstimateGrowthPercent = 104;

// a * b / c without forming the full product (all non-negative, c > 0):
// the remainder's product stays below a * c.
std::int64_t mulDiv(std::int64_t a, std::int64_t b, std::int64_t c) {
  return (b / c) * a + (b % c) * a / c;
}
}  // namespace

Hms splitSeconds(std::int64_t seconds) {
  return Hms{seconds / 3600, (seconds / 60) % 60, seconds % 60};
}

KbRate kbRate(std::int64_t bytesPerSecond) {
  return KbRate{bytesPerSecond / 1024, (bytesPerSecond % 1024) * 100 / 1024};
}

std::int64_t secondsToGo(std::int64_t elapsed, std::int64_t sent, std::int64_t total, std::int64_t capBytesPerSecond) {
  if (capBytesPerSecond > 0 && capBytesPerSecond * elapsed < sent) {
    return total > sent ? (total - sent + capBytesPerSecond - 1) / capBytesPerSecond : 0;
  }
  return mulDiv(elapsed, total, sent) - elapsed;
}

std::string streamingTimeRateText(std::int64_t elapsed, std::int64_t sent, std::int64_t total,
                                  std::int64_t capBytesPerSecond) {
  const auto e = static_cast<long long>(elapsed);
  if (sent == 0 || total == 0 || elapsed == 0) {
    return formatText("%lld:%02lld / -:-- - -.-- Kb/Sec", e / 60, e % 60);
  }
  const auto toGo = static_cast<long long>(secondsToGo(elapsed, sent, total, capBytesPerSecond));
  const KbRate rate = kbRate(sent / elapsed);
  return formatText("%lld:%02lld / %lld:%02lld - %lld.%02lld Kb/Sec", e / 60, e % 60, toGo / 60, toGo % 60,
                    static_cast<long long>(rate.whole), static_cast<long long>(rate.hundredths));
}

std::string acknowledgementText(std::int32_t partIndex, std::int32_t partCount, std::int64_t elapsedMs,
                                std::int64_t articleSize) {
  KbRate rate;
  if (articleSize != 0 && elapsedMs > 0) {
    rate = kbRate(mulDiv(articleSize, 1000, elapsedMs));
  }
  const auto e = static_cast<long long>(elapsedMs / 1000);
  return formatText("Ok. (%d/%d - %lld:%02lld - %lld.%02lld Kb/Sec)", partIndex, partCount, e / 60, e % 60,
                    static_cast<long long>(rate.whole), static_cast<long long>(rate.hundredths));
}

void ProgressEstimate::ResetEstimates(std::int64_t sourceBytes, std::int64_t now, bool yenc) {
  postedBytes_ = 0;
  sessionStart_ = now;
  lastUpdate_ = now;
  estimatedTotal_ = sourceBytes * (yenc ? kYencEstimateGrowthPercent : kEstimateGrowthPercent) / 100;
}

std::string ProgressEstimate::UpdateElapsed(std::int64_t now, std::int64_t capBytesPerSecond) {
  lastUpdate_ = now;
  const std::int64_t elapsed = now - sessionStart_;
  elapsed_ = splitSeconds(elapsed);
  if (estimatedTotal_ == 0 || postedBytes_ == 0 || elapsed == 0) {
    return "Elapsed: --:--:-- To Go: --:--:--";
  }
  std::int64_t toGo = 0;
  if (postedBytes_ < estimatedTotal_ && capBytesPerSecond > 0 && capBytesPerSecond * elapsed < postedBytes_) {
    toGo = secondsToGo(elapsed, postedBytes_, estimatedTotal_, capBytesPerSecond);
  } else if (postedBytes_ < estimatedTotal_) {
    const double projected =
        static_cast<double>(estimatedTotal_) * static_cast<double>(elapsed) / static_cast<double>(postedBytes_);
    toGo = static_cast<std::int64_t>(projected) - elapsed;
    if (toGo < 0) {
      toGo = 0;
    }
  }
  const Hms go = splitSeconds(toGo);
  const auto ll = [](std::int64_t v) { return static_cast<long long>(v); };
  if (go.hours != 0 || go.minutes != 0 || go.seconds != 0) {
    return formatText("Elapsed: %02lld:%02lld:%02lld To Go: %02lld:%02lld:%02lld", ll(elapsed_.hours),
                      ll(elapsed_.minutes), ll(elapsed_.seconds), ll(go.hours), ll(go.minutes), ll(go.seconds));
  }
  return formatText("Elapsed: %02lld:%02lld:%02lld", ll(elapsed_.hours), ll(elapsed_.minutes), ll(elapsed_.seconds));
}

}  // namespace tidewell
