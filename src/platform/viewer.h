#pragma once

#include <string>

namespace tidewell {

// Opens `file` in a viewer as a separate program and does not wait for it:
// the program named by `viewer` when it is not empty (the Viewer setting),
// else the desktop's opener, xdg-open. Returns a value above 31 on success;
// otherwise a small code that says why: 2 when the program cannot be found,
// 5 when it may not be run, 0 for any other failure. Callers show the
// negated value in their message ("Code -2").
[[nodiscard]] int launchViewer(const std::string& file, const std::string& viewer);

}  // namespace tidewell
