#include "upload/journal_path.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <utility>

#include "platform/file_system.h"
#include "upload/run_journal.h"

namespace tidewell {

namespace {

std::string stateHome() {
  // A relative $XDG_STATE_HOME is invalid and ignored.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    return state;
  }
  std::string home;
  if (const char* value = std::getenv("HOME"); value != nullptr && value[0] != '\0') {
    home = value;
  } else if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
    home = user->pw_dir;
  }
  return home.empty() ? std::string() : joinPath(joinPath(home, ".local"), "state");
}

// mkdir -p with every folder it makes owner-only.
bool makeOwnerFolders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
  }
  struct stat info {};
  return (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// FNV-1a, 64 bits: a stable short name for a path, not a secret.
std::uint64_t fnv1a(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

}  // namespace

std::string resolveJournalPath(const std::string& configFilePath) {
  const std::string beside = journalPathFor(configFilePath);
  struct stat info {};
  const std::string state = stateHome();
  if (lstat(beside.c_str(), &info) == 0 || state.empty()) {
    return beside;
  }
  const std::string folder = joinPath(state, "tidewell");
  if (!makeOwnerFolders(folder)) {
    return beside;
  }
  // The configuration file may not exist yet: only the folders that do are
  // resolved through their links.
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(configFilePath, error);
  if (error) {
    absolute = configFilePath;
  } else if (std::filesystem::path real = std::filesystem::weakly_canonical(absolute, error); !error) {
    absolute = std::move(real);
  }
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a(absolute.string())));
  return joinPath(folder, absolute.filename().string() + "-" + hash + ".journal");
}

}  // namespace tidewell
