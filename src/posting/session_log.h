#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tidewell {

class Clock;
class Disk;
class SettingsStore;

inline constexpr std::string_view kLogFileName = "LOGGIT.TXT";

// What OpenNewReport found: `opened` false when no report file can be made
// (the run must not start); `message` says why, or, with `opened`, warns
// once that the report number cannot be saved.
struct ReportOpening {
  bool opened = false;
  std::string message;
};

// The numbered summary report of each session (ReportNN.TXT) and the debug
// log (LOGGIT.TXT), both in the working directory. Every write opens its
// file for appending, writes and closes it again, so either can be read
// while a run goes on; a write that cannot open its file is dropped.
class SessionLog {
 public:
  SessionLog(SettingsStore& settings, const Clock& clock);
  SessionLog(SettingsStore& settings, const Clock& clock, Disk& disk);
  SessionLog(const SessionLog&) = delete;
  // A report kept open is closed with the log, whether the run ended or not.
  ~SessionLog() {
    if (keepReport_) {
      keepReportOpen(false);
    }
  }
  SessionLog& operator=(const SessionLog&) = delete;

  // Deletes LOGGIT.TXT: each program start begins a new log.
  void StartNewLog() const;
  // Re-reads the Logging setting: true switches logging on; once on it stays
  // on until the program ends.
  void RefreshLogging();
  [[nodiscard]] bool loggingOn() const { return loggingOn_; }
  // The log is the owner's alone (mode 0600) and never holds the password:
  // the text of an "authinfo pass" command is written masked.
  void LogWrite(std::string_view text) const;
  // A line of one connection of several, marked "[K] " (K its number), the
  // password masked as in LogWrite.
  void LinkLogWrite(int link, std::string_view text) const;

  // Advances ReportNumber (1..99, then 0) and starts a fresh report file.
  // When the number cannot be saved, the report takes the next free name
  // instead, so no report is ever overwritten; when no report file can be
  // made, there is no report (reportFileName() is empty).
  ReportOpening OpenNewReport();
  [[nodiscard]] const std::string& reportFileName() const { return reportFileName_; }
  void ReportWrite(std::string_view text) const;
  // Fast posting keeps the report open from line to line instead of opening
  // it for each (every line is still written at once); off closes it.
  void keepReportOpen(bool on);
  // "HH:MM:SS " in local time, then the text.
  void ReportStamped(std::string_view text) const;
  // Every text written to the report passes through `wording` first (empty:
  // none), so a test can reword the report and watch what depends on it.
  void setReportWording(std::function<std::string(std::string_view)> wording) { wording_ = std::move(wording); }

 private:
  SettingsStore& settings_;
  const Clock& clock_;
  Disk& disk_;
  bool loggingOn_ = false;
  bool warnedUnsavedNumber_ = false;
  bool keepReport_ = false;
  std::string reportFileName_;
  std::function<std::string(std::string_view)> wording_;
};

// The text as the debug log keeps it: a command "authinfo pass <password>"
// (any letter case) has its password replaced by asterisks; any other text
// is kept byte for byte.
[[nodiscard]] std::string maskedForLog(std::string_view text);

}  // namespace tidewell
