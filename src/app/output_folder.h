#pragma once

#include <string>

namespace tidewell {

// Exit status when the output folder cannot be made or entered (sysexits.h's
// EX_CANTCREAT).
inline constexpr int kExitCannotCreate = 73;

// "--output DIR": the run works in DIR, so its reports, NZB, JSON, spool and
// log files land there. Makes DIR (and its parents) when missing and makes it
// the working directory. Empty when that worked, else the message saying why
// not.
[[nodiscard]] std::string enterOutputFolder(const std::string& folder);

// `path` taken from `base` when it is relative (a configuration file named
// on the command line keeps meaning the file beside the start folder after
// the working directory changes).
[[nodiscard]] std::string pathFrom(const std::string& base, const std::string& path);

}  // namespace tidewell
