#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// What the command line asks for. Each argument is examined by every test
// on its own; the first argument that passes a test wins it.
struct CommandLine {
  // The first argument containing ".ini" in any letter case, kept exactly as
  // written (file names on Linux distinguish case).
  std::optional<std::string> configFilePath;
  bool postAtStart = false;   // "/tidewell" as a whole argument, any case
  bool quitWhenDone = false;  // "/autoquit" as a whole argument, any case
  bool headless = false;      // "--headless" as a whole argument, any case
};

// `arguments` without the program name. Anything not recognised is ignored.
[[nodiscard]] CommandLine parseCommandLine(const std::vector<std::string>& arguments);

}  // namespace tidewell
