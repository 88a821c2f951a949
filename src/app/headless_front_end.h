#pragma once

namespace tidewell {

class AppContext;

// The front end without a window. With "/tidewell" it runs one posting run
// (runHeadlessPosting) and returns its exit status; without it there is no
// Post button to wait for, so it says so and returns 0. Message boxes go to
// standard error with their default answer.
[[nodiscard]] int runHeadlessFrontEnd(AppContext& context);

}  // namespace tidewell
