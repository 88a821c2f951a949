#include "dialogs/group_sources.h"

#include <cstdio>
#include <memory>

#include "platform/file_system.h"
#include "platform/text.h"

namespace tidewell {

std::vector<std::string> splitNewsgroupsField(std::string_view field) {
  std::vector<std::string> names;
  for (;;) {
    const std::size_t comma = field.find(',');
    std::string piece = trimmed(std::string(field.substr(0, comma)));
    if (!piece.empty()) {
      names.push_back(std::move(piece));
    }
    if (comma == std::string_view::npos) {
      break;
    }
    field.remove_prefix(comma + 1);
  }
  return names;
}

std::vector<std::string> readGroupsFile(const std::string& path) {
  std::vector<std::string> entries;
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
  if (!file) {
    return entries;
  }
  // A line is read like fgets() into a 512-byte buffer: up to and including
  // its line feed, at most 511 characters at a time.
  std::string line;
  int c = 0;
  while ((c = getc_unlocked(file.get())) != EOF) {
    line += static_cast<char>(c);
    if (c != '\n' && line.size() < kGroupNameLimit) {
      continue;
    }
    trimWhitespace(line);
    entries.push_back(line.substr(0, line.find_first_of(" \t")));
    line.clear();
  }
  if (!line.empty()) {
    trimWhitespace(line);
    entries.push_back(line.substr(0, line.find_first_of(" \t")));
  }
  return entries;
}

std::string groupsFilePath(const std::string& configFilePath) {
  const std::size_t slash = configFilePath.rfind('/');
  if (slash != std::string::npos) {
    const std::string besideConfig = joinPath(configFilePath.substr(0, slash + 1), std::string(kGroupsFileName));
    if (fileExists(besideConfig)) {
      return besideConfig;
    }
  }
  return std::string(kGroupsFileName);
}

}  // namespace tidewell
