#include "upload/files_bbs.h"

#include <dirent.h>
#include <sys/stat.h>

#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "platform/user_prompt.h"
#include "settings/settings_store.h"
#include "upload/line_reader.h"
#include "upload/upload_scan.h"

namespace tidewell {
namespace {

// Lines of FILES.BBS are read in pieces of at most this many bytes.
constexpr std::size_t kLookupLineLimit = 4095;
// The first four missing descriptions are shown; the fifth shows a notice
// that no more will follow.
constexpr int kShownWarnings = 5;

// The FILES.BBS entry of `directory` in any letter case: "FILES.BBS" when it
// exists, else the first matching name in byte order. None when there is no
// such entry or the directory cannot be listed.
std::optional<std::string> findFilesBbsName(const std::string& directory) {
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) {
    return std::nullopt;
  }
  std::optional<std::string> found;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!equalsIgnoringCase(name, kFilesBbsName)) {
      continue;
    }
    if (name == kFilesBbsName) {
      found = std::string(name);
      break;
    }
    if (!found || name < *found) {
      found = std::string(name);
    }
  }
  closedir(dir);
  return found;
}

bool isReachableDirectory(const std::string& directory) {
  struct stat st {};
  if (stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return false;
  }
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) {
    return false;
  }
  closedir(dir);
  return true;
}

// The description after the matched name: trimmed, then cut at its first
// tab and at its first run of two spaces.
std::string descriptionAfter(const std::string& line, std::size_t end) {
  std::string description = line.substr(end);
  trimWhitespace(description);
  if (const std::size_t tab = description.find('\t'); tab != std::string::npos) {
    description.erase(tab);
  }
  if (const std::size_t gap = description.find("  "); gap != std::string::npos) {
    description.erase(gap);
  }
  return description;
}

}  // namespace

std::string filesBbsPath(const std::string& directory) {
  return joinPath(directory, findFilesBbsName(directory).value_or(std::string(kFilesBbsName)));
}

void DescriptionLookup::fatal(std::string_view message) {
  status_ = kLookupFatal;
  prompt_.notify(message, kUploadErrorCaption);
}

std::optional<std::string> DescriptionLookup::lookupDescription(std::string_view fileName) {
  status_ = kLookupOk;
  if (!settings_.isUseBBS()) {
    return std::nullopt;
  }
  const std::string directory = settings_.getDirectory();
  if (directory.empty()) {
    fatal("No Directory has been set.");
    return std::nullopt;
  }
  if (!isReachableDirectory(directory)) {
    fatal("Specified Directory does not exist or is not accessible.");
    return std::nullopt;
  }
  const std::optional<std::string> bbsName = findFilesBbsName(directory);
  if (!bbsName) {
    fatal("FILES.BBS file does not exist or is not accessible.");
    return std::nullopt;
  }
  const FileDescriptor file = openRegularForRead(joinPath(directory, *bbsName));
  if (!file.isOpen()) {
    fatal("FILES.BBS could not be opened.");
    return std::nullopt;
  }

  const std::string wanted = toLowerAscii(std::string(fileName));
  LineReader reader(file.get(), kLookupLineLimit);
  std::string line;
  while (reader.nextPiece(line)) {
    trimTrailing(line);
    if (line.empty() || line.front() == ' ' || line.front() == '\t') {
      continue;
    }
    const std::size_t at = toLowerAscii(line).find(wanted);
    if (at != std::string::npos) {
      return descriptionAfter(line, at + wanted.size());
    }
  }

  status_ = kLookupWarning;
  ++warnings_;
  if (warnings_ < kShownWarnings) {
    prompt_.notify(wanted + " not found in lookup file FILES.BBS", kUploadErrorCaption);
  } else if (warnings_ == kShownWarnings) {
    prompt_.notify("Not displaying further warnings.", kUploadErrorCaption);
  }
  return std::nullopt;
}

bool createFilesBbsTemplate(const std::string& directory, UserPrompt& prompt) {
  const FileDescriptor file = createForWrite(filesBbsPath(directory));
  const auto failed = [&prompt] {
    prompt.notify("Error, unable to create FILES.BBS in the 'Files From Dir' directory.", kUploadErrorCaption);
    return false;
  };
  if (!file.isOpen()) {
    return failed();
  }
  // Every header line begins with a space, so the lookup passes over it.
  std::string text =
      " Generic FILES.BBS Template File\r\n"
      " --------------------------------------------\r\n"
      " (Add descriptions of each file to each line)\r\n"
      "\r\n";
  std::vector<std::string> names;
  listRegularFiles(directory, names);
  for (const std::string& name : names) {
    if (fileSizeOf(joinPath(directory, name)) > 0 && !equalsIgnoringCase(name, kFilesBbsName)) {
      text += name;
      text += " \r\n";
    }
  }
  if (!writeAll(file.get(), text)) {
    return failed();
  }
  return true;
}

}  // namespace tidewell
