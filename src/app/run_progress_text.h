#pragma once

#include <cstdint>
#include <string>

#include "posting/posting_display.h"

namespace tidewell {

// The headless front end's view of a whole run: the session's figures,
// carried across reconnections (where the session starts its byte counts
// again), turned into the texts of the progress bar, the progress line and
// the closing summary.
class RunProgressText {
 public:
  // Takes the session's latest figures, seen at `nowMs` of the loop's clock.
  void update(const RunProgress& progress, std::int64_t nowMs);

  [[nodiscard]] bool started() const { return startMs_ >= 0; }
  [[nodiscard]] const RunProgress& latest() const { return latest_; }

  // "3/10 files  23.9 of 53.0 MB  1.21 MB/s  0:25 to go": the rate is a
  // real figure once a second has passed, "--" before; the time to go
  // "--:--" while nothing has been sent.
  [[nodiscard]] std::string figures() const;
  // The run's rate so far ("1.2 MB/s"); empty within its first second.
  [[nodiscard]] std::string rate() const;
  // "[=====>      ]  45%  " + figures(), for one redrawn line.
  [[nodiscard]] std::string bar() const;
  // "posted N of M files, K articles failed, report: PATH".
  [[nodiscard]] std::string summary(const std::string& reportPath) const;

 private:
  [[nodiscard]] std::int64_t doneBytes() const { return carried_ + latest_.bytesPosted; }
  [[nodiscard]] std::int64_t totalBytes() const;
  [[nodiscard]] std::int64_t bytesPerSecond() const;

  RunProgress latest_;
  std::int64_t carried_ = 0;  // bytes sent before the latest (re)connection
  std::int64_t startMs_ = -1;
  std::int64_t nowMs_ = 0;
};

// A byte count for people: "812 B", "40.8 kB", "53.0 MB", "2.15 GB".
[[nodiscard]] std::string byteText(std::int64_t bytes);
// Seconds as "m:ss", or "h:mm:ss" from an hour on.
[[nodiscard]] std::string durationText(std::int64_t seconds);

}  // namespace tidewell
