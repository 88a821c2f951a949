#include "posting/session_log.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"
#include "platform/disk.h"
#include "platform/file_io.h"
#include "platform/text.h"
#include "settings/settings_store.h"

namespace tidewell {

namespace {
constexpr int kReportCycle = 100;
constexpr std::string_view kPassCommand = "authinfo pass ";
constexpr std::string_view kPasswordMask = "********";

std::string reportName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "Report%02d.TXT", number);
  return name;
}
}  // namespace

std::string maskedForLog(std::string_view text) {
  if (text.size() < kPassCommand.size() || !equalsIgnoringCase(text.substr(0, kPassCommand.size()), kPassCommand)) {
    return std::string(text);
  }
  const std::size_t lineEnd = text.find_first_of("\r\n");
  std::string masked(text.substr(0, kPassCommand.size()));
  masked += kPasswordMask;
  if (lineEnd != std::string_view::npos) {
    masked += text.substr(lineEnd);
  }
  return masked;
}

SessionLog::SessionLog(SettingsStore& settings, const Clock& clock) : SessionLog(settings, clock, realDisk()) {}

SessionLog::SessionLog(SettingsStore& settings, const Clock& clock, Disk& disk)
    : settings_(settings), clock_(clock), disk_(disk) {}

void SessionLog::StartNewLog() const {
  disk_.remove(std::string(kLogFileName));
}

void SessionLog::RefreshLogging() {
  if (settings_.isLogging()) {
    loggingOn_ = true;
  }
}

void SessionLog::LogWrite(std::string_view text) const {
  if (loggingOn_) {
    static_cast<void>(disk_.append(std::string(kLogFileName), maskedForLog(text), kOwnerOnly));
  }
}

void SessionLog::LinkLogWrite(int link, std::string_view text) const {
  if (loggingOn_) {
    std::string line = formatText("[%d] ", link);
    line += maskedForLog(text);
    static_cast<void>(disk_.append(std::string(kLogFileName), line, kOwnerOnly));
  }
}

ReportOpening SessionLog::OpenNewReport() {
  ReportOpening result;
  if (!reportFileName_.empty()) {
    disk_.release(reportFileName_);
  }
  reportFileName_.clear();
  int number = settings_.number(Setting::ReportNumber);
  if (number < 0) {
    number = 0;
  }
  number = static_cast<int>((static_cast<long long>(number) + 1) % kReportCycle);
  std::string name = reportName(number);
  if (!settings_.write(Setting::ReportNumber, std::to_string(number))) {
    // The number will not move on, so the next run would overwrite this
    // run's report: take the next name nobody has used.
    int tried = 0;
    while (disk_.exists(name) && ++tried < kReportCycle) {
      number = (number + 1) % kReportCycle;
      name = reportName(number);
    }
    if (tried == kReportCycle) {
      result.message =
          "Every report name from Report00.TXT to Report99.TXT is taken, and ReportNumber cannot be "
          "saved. Not posting.";
      return result;
    }
    if (!warnedUnsavedNumber_) {
      warnedUnsavedNumber_ = true;
      result.message =
          "ReportNumber cannot be saved in the configuration file; reports take the next free name (" + name + ").";
    }
  }
  disk_.remove(name);
  if (const int error = disk_.append(name, "", kSharedFile); error != 0) {
    result.message =
        "Cannot write the report " + name + " in the working directory (" + std::strerror(error) + "). Not posting.";
    return result;
  }
  reportFileName_ = name;
  result.opened = true;
  return result;
}

void SessionLog::ReportWrite(std::string_view text) const {
  if (!reportFileName_.empty()) {
    const std::string reworded = wording_ ? wording_(text) : std::string();
    const std::string_view line = wording_ ? std::string_view(reworded) : text;
    static_cast<void>(keepReport_ ? disk_.appendKeepingOpen(reportFileName_, line, kSharedFile)
                                  : disk_.append(reportFileName_, line, kSharedFile));
  }
}

void SessionLog::keepReportOpen(bool on) {
  keepReport_ = on;
  if (!on && !reportFileName_.empty()) {
    disk_.release(reportFileName_);
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
