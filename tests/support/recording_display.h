#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "posting/display_text.h"
#include "posting/posting_display.h"

namespace tidewell::test {

// A PostingDisplay that keeps everything it is shown, for assertions.
class RecordingDisplay final : public PostingDisplay {
 public:
  void ShowState(std::string_view text) override {
    state = text;
    states.emplace_back(text);
  }
  void ShowTimeRate(std::string_view text) override { timeRate = text; }
  void ShowEstimate(std::string_view text) override { estimate = text; }
  void ShowOutboundInfo(std::string_view text) override {
    outbound = splitListLines(text);
    outboundTexts.emplace_back(text);
  }
  void ShowInboundInfo(std::string_view text) override {
    inbound = splitListLines(text);
    inboundTexts.emplace_back(text);
  }
  void showProblem(std::string_view text) override { problems.emplace_back(text); }
  void showWarning(std::string_view text) override { warnings.emplace_back(text); }
  void AddFileLine(std::string_view text) override { fileLines.emplace_back(text); }
  void AppendToFileLine(std::string_view text) override {
    if (fileLines.empty()) {
      fileLines.emplace_back(text);
    } else {
      fileLines.back() = appendedFileLine(fileLines.back(), text);
    }
  }
  void ClearFileLines() override { fileLines.clear(); }
  void LockButtons() override { locked = true; }
  void ResetButtons() override { locked = false; }
  void OutboundLight() override { outboundLit = true; }
  void InboundLight() override { inboundLit = true; }
  void lightsOff() override { outboundLit = inboundLit = false; }
  void HeartbeatLight() override { heartbeat = !heartbeat; }
  void showTip() override { ++tips; }
  void showRunProgress(const RunProgress& progress) override { lastRunProgress = progress; }

  std::string state;
  std::vector<std::string> states;
  std::string timeRate;
  std::string estimate;
  std::vector<std::string> outbound;
  std::vector<std::string> inbound;
  std::vector<std::string> outboundTexts;
  std::vector<std::string> inboundTexts;
  std::vector<std::string> problems;
  std::vector<std::string> warnings;
  std::vector<std::string> fileLines;
  bool locked = false;
  bool outboundLit = false;
  bool inboundLit = false;
  bool heartbeat = false;
  int tips = 0;
  RunProgress lastRunProgress;
};

}  // namespace tidewell::test
