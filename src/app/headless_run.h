#pragma once

namespace tidewell {

class AppContext;

// Exit statuses of a headless posting run.
inline constexpr int kHeadlessFinished = 0;              // every article posted
inline constexpr int kHeadlessFinishedWithFailures = 2;  // the run ended, some articles failed
inline constexpr int kHeadlessNotFinished = 3;           // the run ended before the end of the list

// One posting run without a window, started by "/tidewell": progress goes to
// standard output, questions take their default answer. Returns one of the
// statuses above.
[[nodiscard]] int runHeadlessPosting(AppContext& context);

}  // namespace tidewell
