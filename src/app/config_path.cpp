#include "app/config_path.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string_view>

#include "platform/file_system.h"

namespace tidewell {

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

ConfigLocations currentConfigLocations() {
  ConfigLocations where;
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) != nullptr) {
    where.currentDirectory = cwd;
  }
  where.xdgConfigHome = environment("XDG_CONFIG_HOME");
  where.home = environment("HOME");
  if (where.home.empty()) {
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
      where.home = user->pw_dir;
    }
  }
  return where;
}

std::string configFolder(const ConfigLocations& where) {
  // A relative $XDG_CONFIG_HOME is invalid and ignored.
  if (!where.xdgConfigHome.empty() && where.xdgConfigHome.front() == '/') {
    return joinPath(where.xdgConfigHome, "tidewell");
  }
  if (!where.home.empty()) {
    return joinPath(joinPath(where.home, ".config"), "tidewell");
  }
  return "";
}

std::string defaultConfigFilePath(const ConfigLocations& where) {
  if (!where.currentDirectory.empty()) {
    const std::string here = joinPath(where.currentDirectory, kConfigFileName);
    if (fileExists(here)) {
      return here;
    }
  }
  const std::string folder = configFolder(where);
  if (folder.empty()) {
    return kConfigFileName;
  }
  return joinPath(folder, kConfigFileName);
}

void prepareConfigFolder(const std::string& configFilePath, const ConfigLocations& where) {
  const std::string folder = configFolder(where);
  if (!folder.empty() && configFilePath == joinPath(folder, kConfigFileName)) {
    makeFolders(folder, 0700);
  }
}

}  // namespace tidewell
