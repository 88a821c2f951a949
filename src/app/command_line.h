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
  Usage,     // the command line is wrong: `usageError` says how
};

// What the command line asks for.
//
// The switches of old are whole arguments in any letter case: "/tidewell",
// "/autoquit", and the first argument containing ".ini" names the
// configuration file. Beside them, GNU-style options (long names in any
// letter case, "--name VALUE" or "--name=VALUE"). Anything else, an unknown
// option or a bare word, is a mistake: Command::Usage, naming it.
struct CommandLine {
  // "-c FILE", "--config FILE", else the first argument containing ".ini" in
  // any letter case; kept exactly as written (file names on Linux
  // distinguish case).
  std::optional<std::string> configFilePath;
  bool postAtStart = false;   // "/tidewell" or "--post"
  bool quitWhenDone = false;  // "/autoquit" or "--quit-when-done"
  bool headless = false;      // "--headless"
  // "--output DIR": the folder the run works in (reports, NZB, JSON, spools).
  std::optional<std::string> outputFolder;
  // "--with KEY=VALUE", in order: settings for this run only.
  std::vector<std::string> overrides;

  // "--help" and "--version" win over everything else.
  Command command = Command::Run;
  // "--set": the arguments after it that contain "=", as written. They are
  // values, so none of them counts as a switch or a configuration file.
  std::vector<std::string> assignments;
  // "--get": the argument after it (also not examined as a switch).
  std::string key;
  std::string usageError;
};

// `arguments` without the program name.
[[nodiscard]] CommandLine parseCommandLine(const std::vector<std::string>& arguments);

}  // namespace tidewell
