#pragma once

#include <string>

namespace tidewell {

inline constexpr const char* kConfigFileName = "Tidewell.INI";

// What the choice of the configuration file depends on, gathered once so the
// rule can be tested without touching the real environment.
struct ConfigLocations {
  std::string currentDirectory;  // empty when it cannot be obtained
  std::string xdgConfigHome;     // $XDG_CONFIG_HOME, may be empty
  std::string home;              // $HOME, else the password database; may be empty
};

[[nodiscard]] ConfigLocations currentConfigLocations();

// The user's configuration folder: $XDG_CONFIG_HOME/tidewell when that is an
// absolute path, else ~/.config/tidewell; empty when there is no home.
[[nodiscard]] std::string configFolder(const ConfigLocations& where);

// "Tidewell.INI" in the current directory when that file exists there; else
// "Tidewell.INI" in the configuration folder, whether or not it exists yet;
// the bare name (relative to the current directory) when there is no folder.
[[nodiscard]] std::string defaultConfigFilePath(const ConfigLocations& where);

// Creates the folder that `configFilePath` lies in when it is the user's
// configuration folder and missing (mode 0700: the file holds a password).
// Other locations are the user's own choice and are left as they are.
void prepareConfigFolder(const std::string& configFilePath, const ConfigLocations& where);

}  // namespace tidewell
