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

std::optional<std::string> DescriptionLookup::lookupFilePath(const std::string& directory) {
  // The name found last is checked first: listing a large directory for
  // every file would make the scan quadratic.
  if (!foundPath_.empty() && foundIn_ == directory && fileExists(foundPath_)) {
    return foundPath_;
  }
  const std::optional<std::string> name = findFilesBbsName(directory);
  if (!name) {
    return std::nullopt;
  }
  foundIn_ = directory;
  foundPath_ = joinPath(directory, *name);
  return foundPath_;
}

void DescriptionLookup::index(int fd, const std::string& path) {
  struct stat st {};
  Stamp stamp;
  stamp.path = path;
  if (fstat(fd, &st) == 0) {
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  }
  if (stamp == indexed_ && stamp.size >= 0) {
    return;
  }
  indexed_ = stamp;
  lines_.clear();
  linesByFirstWord_.clear();
  LineReader reader(fd, kLookupLineLimit);
  std::string line;
  while (reader.nextPiece(line)) {
    trimTrailing(line);
    if (line.empty() || line.front() == ' ' || line.front() == '\t') {
      continue;
    }
    linesByFirstWord_[toLowerAscii(line.substr(0, line.find_first_of(" \t")))].push_back(lines_.size());
    lines_.push_back(line);
  }
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
  const std::optional<std::string> bbsPath = lookupFilePath(directory);
  if (!bbsPath) {
    fatal("FILES.BBS file does not exist or is not accessible.");
    return std::nullopt;
  }
  const FileDescriptor file = openRegularForRead(*bbsPath);
  if (!file.isOpen()) {
    fatal("FILES.BBS could not be opened.");
    return std::nullopt;
  }
  index(file.get(), *bbsPath);

  const std::string wanted = toLowerAscii(std::string(fileName));
  const auto candidates = linesByFirstWord_.find(wanted.substr(0, wanted.find_first_of(" \t")));
  if (candidates != linesByFirstWord_.end()) {
    for (const std::size_t number : candidates->second) {
      const std::string& line = lines_[number];
      const std::size_t end = wanted.size();
      const bool nameEnds = line.size() == end || (line.size() > end && (line[end] == ' ' || line[end] == '\t'));
      if (nameEnds && toLowerAscii(line.substr(0, end)) == wanted) {
        return descriptionAfter(line, wanted.size());
      }
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
