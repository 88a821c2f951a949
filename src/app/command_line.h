#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tidewell {

// What the program is asked to do. Run is the program itself; the others
// print or change something and exit.
enum class Command {
  Run,
  Help,      // "--help": usage, switches, exit statuses, configuration file, keys
  Version,   // "--version"
  Set,       // "--set KEY=VALUE ...": write keys of section Settings
  Get,       // "--get KEY": print one value
  Settings,  // "--settings": print every value, the password masked
  Usage,     // one of the options above given wrongly: `usageError` says how
};

// What the command line asks for. Each argument is examined by every test
// on its own; the first argument that passes a test wins it.
struct CommandLine {
  // The first argument containing ".ini" in any letter case, kept exactly as
  // written (file names on Linux distinguish case).
  std::optional<std::string> configFilePath;
  bool postAtStart = false;   // "/tidewell" as a whole argument, any case
  bool quitWhenDone = false;  // "/autoquit" as a whole argument, any case
  bool headless = false;      // "--headless" as a whole argument, any case

  // The options are whole arguments in any case, like the switches.
  // "--help" and "--version" win over everything else.
  Command command = Command::Run;
  // "--set": the arguments after it that contain "=", as written. They are
  // values, so none of them counts as a switch or a configuration file.
  std::vector<std::string> assignments;
  // "--get": the argument after it (also not examined as a switch).
  std::string key;
  std::string usageError;
};

// `arguments` without the program name. Anything not recognised is ignored.
[[nodiscard]] CommandLine parseCommandLine(const std::vector<std::string>& arguments);

}  // namespace tidewell
