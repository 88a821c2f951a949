#pragma once

#include <string>

namespace tidewell {

// Opens `file` in a viewer as a separate program and does not wait for it:
// the program named by `viewer` when it is not empty (the Viewer setting),
// else the desktop's opener, xdg-open. Returns a value above 31 on success;
// otherwise a small code in the style of the classic launcher: 2 when the
// program cannot be found, 5 when it may not be run, 0 for any other failure.
// Callers show the negated value, as the launcher's users always have.
[[nodiscard]] int launchViewer(const std::string& file, const std::string& viewer);

}  // namespace tidewell
