#include "app/output_folder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

namespace tidewell {

std::string enterOutputFolder(const std::string& folder) {
  if (!makeFolders(folder, 0777) || chdir(folder.c_str()) != 0) {
    return "Tidewell: cannot use the output folder " + folder + ": " + std::strerror(errno) + ".";
  }
  return {};
}

std::string pathFrom(const std::string& base, const std::string& path) {
  if (path.empty() || path.front() == '/' || base.empty()) {
    return path;
  }
  return joinPath(base, path);
}

}  // namespace tidewell
