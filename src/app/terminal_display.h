#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/run_progress_text.h"
#include "posting/posting_display.h"

namespace tidewell {

class Clock;

// The posting display of the headless front end, shaped for its reader.
// Standard output gets the run's course: the State line when it changes
// (but for the steps every article goes through), one line per file (its
// last part's outcome; a failed part always) and the run's progress. On a
// terminal that progress is one bar for the whole run, redrawn in place;
// into a file or a pipe it is a line at most every 10 seconds of the loop's
// clock. What went wrong goes to standard error.
class TerminalDisplay final : public PostingDisplay {
 public:
  // `out` gets the course of the run and, when `isTerminal`, the redrawn
  // bar; `err` the problems. `clock` paces the progress lines.
  TerminalDisplay(std::FILE* out, std::FILE* err, bool isTerminal, const Clock& clock);
  ~TerminalDisplay() override;
  TerminalDisplay(const TerminalDisplay&) = delete;
  TerminalDisplay& operator=(const TerminalDisplay&) = delete;

  void ShowState(std::string_view text) override;
  void ShowTimeRate(std::string_view /*text*/) override {}
  void ShowEstimate(std::string_view /*text*/) override {}
  void ShowOutboundInfo(std::string_view /*text*/) override {}
  void ShowInboundInfo(std::string_view /*text*/) override {}
  void showProblem(std::string_view text) override;
  void AddFileLine(std::string_view text) override;
  void AppendToFileLine(std::string_view text) override;
  void ClearFileLines() override;
  void LockButtons() override {}
  void ResetButtons() override;
  void OutboundLight() override {}
  void InboundLight() override {}
  void lightsOff() override {}
  void HeartbeatLight() override {}
  void showRunProgress(const RunProgress& progress) override;

  // Print a file line that is still waiting for its outcome, take the bar
  // away (at the end).
  void flush();
  // The closing line: "posted N of M files, K articles failed, report: PATH".
  [[nodiscard]] std::string summary(const std::string& reportPath) const { return run_.summary(reportPath); }

  // Into a file or a pipe, a progress line at most this often.
  static constexpr std::int64_t kProgressLineMs = 10000;

 private:
  void printLine(std::string_view line);
  void clearBar();
  void drawBar();
  void fileLineDone();

  std::FILE* out_;
  std::FILE* err_;
  bool isTerminal_;
  const Clock& clock_;
  std::string state_;
  std::string fileLine_;
  bool fileLinePending_ = false;
  bool barShown_ = false;
  bool running_ = false;
  RunProgressText run_;
  std::int64_t lastProgressLineMs_ = -1;
};

}  // namespace tidewell
