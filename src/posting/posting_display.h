#pragma once

#include <cstdint>
#include <cstdio>
#include <string_view>

namespace tidewell {

// The whole run in figures, for a front end that shows one progress display
// for the run rather than the lines of each article.
struct RunProgress {
  std::int32_t filesListed = 0;
  std::int32_t filesDone = 0;       // files no longer waiting to be posted
  std::int32_t filesPosted = 0;     // files with every part accepted
  std::int32_t articlesFailed = 0;  // as the report's "Articles Failed"
  // Article bytes sent since the run last (re)connected, and the estimate
  // made then for the files still to post; both start again at a
  // reconnection.
  std::int64_t bytesPosted = 0;
  std::int64_t bytesEstimated = 0;
  bool ended = false;  // the run is over: the figures are final
};

// What the posting session shows, and the only way it shows anything. The
// session never touches a widget: DlgPost implements this with its labels,
// lists and lights, the headless front end on a terminal, and tests record
// the calls. The session itself copies the texts of the five Show
// operations to the debug log, so implementations only display.
class PostingDisplay {
 public:
  virtual ~PostingDisplay() = default;

  // The State, Time/Rate and Total Estimate lines.
  virtual void ShowState(std::string_view text) = 0;
  virtual void ShowTimeRate(std::string_view text) = 0;
  virtual void ShowEstimate(std::string_view text) = 0;
  // Replace the whole Outbound / Inbound Information list with the text,
  // split into lines by splitListLines().
  virtual void ShowOutboundInfo(std::string_view text) = 0;
  virtual void ShowInboundInfo(std::string_view text) = 0;

  // Outbound Files: one line per part. AppendToFileLine adds to the last line
  // (or adds a line when there is none); use appendedFileLine() for the cut.
  virtual void AddFileLine(std::string_view text) = 0;
  virtual void AppendToFileLine(std::string_view text) = 0;
  virtual void ClearFileLines() = 0;

  // Post and Settings disabled, the third button reads "Stop".
  virtual void LockButtons() = 0;
  // Lights off, Post and Settings enabled, "Quit", empty Time/Rate line.
  virtual void ResetButtons() = 0;

  // Activity lights: each goes on at traffic and off at the next 250 ms tick.
  virtual void OutboundLight() = 0;
  virtual void InboundLight() = 0;
  virtual void lightsOff() = 0;
  // The heartbeat light changes every live tick.
  virtual void HeartbeatLight() = 0;

  // Refresh the hint panel (a new tip); front ends without one ignore it.
  virtual void showTip() {}

  // Called beside ShowOutboundInfo/ShowInboundInfo when the text reports a
  // failure, so a front end that shows no information lists (the headless
  // one) can still print what went wrong.
  virtual void showProblem(std::string_view /*text*/) {}

  // The run's figures, with every Total Estimate update (at least once a
  // second while a run goes on) and once more when it ends.
  virtual void showRunProgress(const RunProgress& /*progress*/) {}
  // A warning the user must see whatever the front end: standard error,
  // one line.
  virtual void showWarning(std::string_view text) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  }
};

}  // namespace tidewell
