#include "posting/session_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "settings/settings_store.h"

namespace tidewell {

namespace {
constexpr int kReportCycle = 100;
}

bool appendToFile(const std::string& path, std::string_view text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    return false;
  }
  std::size_t done = 0;
  bool ok = true;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return close(fd) == 0 && ok;
}

SessionLog::SessionLog(SettingsStore& settings, const Clock& clock) : settings_(settings), clock_(clock) {}

void SessionLog::StartNewLog() const {
  deleteFile(std::string(kLogFileName));
}

void SessionLog::RefreshLogging() {
  if (settings_.isLogging()) {
    loggingOn_ = true;
  }
}

void SessionLog::LogWrite(std::string_view text) const {
  if (loggingOn_) {
    appendToFile(std::string(kLogFileName), text);
  }
}

void SessionLog::OpenNewReport() {
  int number = settings_.number(Setting::ReportNumber);
  if (number < 0) {
    number = 0;
  }
  number = static_cast<int>((static_cast<long long>(number) + 1) % kReportCycle);
  settings_.write(Setting::ReportNumber, std::to_string(number));
  char name[32];
  std::snprintf(name, sizeof name, "Report%02d.TXT", number);
  reportFileName_ = name;
  deleteFile(reportFileName_);
}

void SessionLog::ReportWrite(std::string_view text) const {
  if (!reportFileName_.empty()) {
    appendToFile(reportFileName_, text);
  }
}

void SessionLog::ReportStamped(std::string_view text) const {
  const LocalTime now = clock_.localNow();
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", now.hour, now.minute, now.second);
  ReportWrite(stamp);
  ReportWrite(text);
}

}  // namespace tidewell
