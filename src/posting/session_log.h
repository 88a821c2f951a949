#pragma once

#include <string>
#include <string_view>

namespace tidewell {

class Clock;
class SettingsStore;

inline constexpr std::string_view kLogFileName = "LOGGIT.TXT";

// The numbered summary report of each session (ReportNN.TXT) and the debug
// log (LOGGIT.TXT), both in the working directory. Every write opens its
// file for appending, writes and closes it again, so either can be read
// while a run goes on; a write that cannot open its file is dropped.
class SessionLog {
 public:
  SessionLog(SettingsStore& settings, const Clock& clock);
  SessionLog(const SessionLog&) = delete;
  SessionLog& operator=(const SessionLog&) = delete;

  // Deletes LOGGIT.TXT: each program start begins a new log.
  void StartNewLog() const;
  // Re-reads the Logging setting: true switches logging on; once on it stays
  // on until the program ends.
  void RefreshLogging();
  [[nodiscard]] bool loggingOn() const { return loggingOn_; }
  void LogWrite(std::string_view text) const;

  // Advances ReportNumber (1..99, then 0) and starts a fresh report file.
  void OpenNewReport();
  [[nodiscard]] const std::string& reportFileName() const { return reportFileName_; }
  void ReportWrite(std::string_view text) const;
  // "HH:MM:SS " in local time, then the text.
  void ReportStamped(std::string_view text) const;

 private:
  SettingsStore& settings_;
  const Clock& clock_;
  bool loggingOn_ = false;
  std::string reportFileName_;
};

// Appends `text` to the file at `path`; false when it cannot be opened.
bool appendToFile(const std::string& path, std::string_view text);

}  // namespace tidewell
