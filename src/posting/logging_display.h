#pragma once

#include <string_view>

#include "posting/posting_display.h"

namespace tidewell {

class SessionLog;

// Passes every call on to the front end's display, copying the texts of the
// five Show operations (with a line end) to the debug log on the way.
class LoggingDisplay final : public PostingDisplay {
 public:
  LoggingDisplay(PostingDisplay& display, const SessionLog& log) : display_(display), log_(log) {}

  void ShowState(std::string_view text) override;
  void ShowTimeRate(std::string_view text) override;
  void ShowEstimate(std::string_view text) override;
  void ShowOutboundInfo(std::string_view text) override;
  void ShowInboundInfo(std::string_view text) override;
  void AddFileLine(std::string_view text) override { display_.AddFileLine(text); }
  void AppendToFileLine(std::string_view text) override { display_.AppendToFileLine(text); }
  void ClearFileLines() override { display_.ClearFileLines(); }
  void LockButtons() override { display_.LockButtons(); }
  void ResetButtons() override { display_.ResetButtons(); }
  void OutboundLight() override { display_.OutboundLight(); }
  void InboundLight() override { display_.InboundLight(); }
  void lightsOff() override { display_.lightsOff(); }
  void HeartbeatLight() override { display_.HeartbeatLight(); }
  void showTip() override { display_.showTip(); }
  void showProblem(std::string_view text) override { display_.showProblem(text); }
  void showRunProgress(const RunProgress& progress) override { display_.showRunProgress(progress); }
  void showWarning(std::string_view text) override { display_.showWarning(text); }

 private:
  void log(std::string_view text) const;
  void logged(void (PostingDisplay::*show)(std::string_view), std::string_view text);

  PostingDisplay& display_;
  const SessionLog& log_;
};

}  // namespace tidewell
