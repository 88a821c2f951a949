#pragma once

namespace tidewell {

// The process entry. Returns the exit code: 0 when the program ran and ended
// normally (headless posting: its own status, 0, 2 or 3); 1 when the upload
// list cannot be created; -1 when another instance runs, for this user or in
// this working directory (one line on standard error, nothing touched), or an
// exception with a message reached the entry.
[[nodiscard]] int runTidewell(int& argc, char** argv);

}  // namespace tidewell
