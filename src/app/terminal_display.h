#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "posting/posting_display.h"

namespace tidewell {

// The posting display of the headless front end. Prints the State line when
// it changes, each Outbound Files line once it is complete, problems, and a
// one-line progress display while an article streams: redrawn in place on
// a terminal, a plain line every tenth of the article otherwise.
class TerminalDisplay final : public PostingDisplay {
 public:
  // `out` is written to and, when `isTerminal`, redrawn in place.
  TerminalDisplay(std::FILE* out, bool isTerminal);
  ~TerminalDisplay() override;
  TerminalDisplay(const TerminalDisplay&) = delete;
  TerminalDisplay& operator=(const TerminalDisplay&) = delete;

  void ShowState(std::string_view text) override;
  void ShowTimeRate(std::string_view text) override;
  void ShowEstimate(std::string_view text) override;
  void ShowOutboundInfo(std::string_view /*text*/) override {}
  void ShowInboundInfo(std::string_view /*text*/) override {}
  void ShowProblem(std::string_view text) override;
  void AddFileLine(std::string_view text) override;
  void AppendToFileLine(std::string_view text) override;
  void ClearFileLines() override;
  void LockButtons() override {}
  void ResetButtons() override;
  void OutboundLight() override {}
  void InboundLight() override {}
  void LightsOff() override {}
  void HeartbeatLight() override {}

  // Print a file line that is still waiting for its outcome (at the end).
  void flush();

 private:
  void printLine(std::string_view line);
  void clearProgress();
  void drawProgress();
  void flushFileLine();

  std::FILE* out_;
  bool isTerminal_;
  std::string state_;
  std::string timeRate_;
  std::string estimate_;
  std::string fileLine_;
  bool fileLinePending_ = false;
  bool progressShown_ = false;
  int lastPlainPercent_ = -1;
};

}  // namespace tidewell
