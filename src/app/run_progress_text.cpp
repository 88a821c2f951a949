#include "app/run_progress_text.h"

#include <algorithm>

#include "platform/text.h"

namespace tidewell {

namespace {
constexpr int kBarWidth = 12;  // the whole line stays within 80 columns
constexpr std::int64_t kRateAfterMs = 1000;
}  // namespace

std::string byteText(std::int64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (bytes < 1000) {
    return formatText("%lld B", static_cast<long long>(bytes));
  }
  if (bytes < 1000 * 1000) {
    return formatText("%.1f kB", value / 1e3);
  }
  if (bytes < 1000LL * 1000 * 1000) {
    return formatText("%.1f MB", value / 1e6);
  }
  return formatText("%.2f GB", value / 1e9);
}

std::string durationText(std::int64_t seconds) {
  const auto s = static_cast<long long>(std::max<std::int64_t>(seconds, 0));
  if (s >= 3600) {
    return formatText("%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  }
  return formatText("%lld:%02lld", s / 60, s % 60);
}

void RunProgressText::update(const RunProgress& progress, std::int64_t nowMs) {
  if (startMs_ < 0) {
    startMs_ = nowMs;
  }
  if (progress.bytesPosted < latest_.bytesPosted) {
    carried_ += latest_.bytesPosted;  // a reconnection started the count again
  }
  latest_ = progress;
  nowMs_ = nowMs;
}

std::int64_t RunProgressText::totalBytes() const {
  return std::max(carried_ + latest_.bytesEstimated, doneBytes());
}

std::int64_t RunProgressText::bytesPerSecond() const {
  const std::int64_t elapsed = nowMs_ - startMs_;
  return elapsed >= kRateAfterMs ? doneBytes() * 1000 / elapsed : -1;
}

std::string RunProgressText::rate() const {
  const std::int64_t rate = bytesPerSecond();
  return rate < 0 ? std::string() : byteText(rate) + "/s";
}

std::string RunProgressText::figures() const {
  const std::int64_t rate = bytesPerSecond();
  std::string text = formatText("%d/%d files  ", latest_.filesDone, latest_.filesListed) + byteText(doneBytes()) +
                     " of " + byteText(totalBytes()) + "  ";
  text += rate < 0 ? std::string("--") : byteText(rate) + "/s";
  text += "  ";
  text += rate > 0 ? durationText((totalBytes() - doneBytes()) / rate) : std::string("--:--");
  text += " to go";
  return text;
}

std::string RunProgressText::bar() const {
  const std::int64_t total = totalBytes();
  const std::int64_t percent = total > 0 ? doneBytes() * 100 / total : 0;
  const auto filled = static_cast<int>(percent * kBarWidth / 100);
  std::string line(kBarWidth + 2, ' ');
  line.front() = '[';
  line.back() = ']';
  line.replace(1, static_cast<std::size_t>(filled), static_cast<std::size_t>(filled), '=');
  if (filled < kBarWidth) {
    line[static_cast<std::size_t>(filled) + 1] = '>';
  }
  line += formatText(" %3lld%%  ", static_cast<long long>(percent));
  line += figures();
  return line;
}

std::string RunProgressText::summary(const std::string& reportPath) const {
  return formatText("posted %d of %d files, %d articles failed, report: ", latest_.filesPosted, latest_.filesListed,
                    latest_.articlesFailed) +
         (reportPath.empty() ? std::string("none") : reportPath);
}

}  // namespace tidewell
