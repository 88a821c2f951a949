#include "upload/upload_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "upload/files_bbs.h"
#include "upload/upload_list.h"

namespace tidewell {
namespace {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    return std::nullopt;
  }
  return FileIdentity{st.st_dev, st.st_ino};
}

// The program's own files: each by its identity when it exists, and by its
// folder's identity and its name, for one that appears during the scan.
class OwnFiles {
 public:
  explicit OwnFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
      const std::filesystem::path file(path);
      const std::filesystem::path folder = file.parent_path();
      files_.push_back(
          {identityOf(path), identityOf(folder.empty() ? "." : folder.string()), file.filename().string()});
    }
  }

  [[nodiscard]] bool contains(const FileIdentity& folder, const std::string& name, const std::string& path) const {
    const std::optional<FileIdentity> identity = identityOf(path);
    for (const OwnFile& own : files_) {
      if ((identity && own.identity == identity) || (own.folder == folder && own.name == name)) {
        return true;
      }
    }
    return false;
  }

 private:
  struct OwnFile {
    std::optional<FileIdentity> identity;
    std::optional<FileIdentity> folder;
    std::string name;
  };
  std::vector<OwnFile> files_;
};

// An empty file has nothing to post and is left out. A file that cannot be
// opened is not empty by this test: it stays listed, so the run fails it
// with its reason and the report says so, rather than dropping it without
// a word.
bool isEmptyFile(const std::string& path) {
  const FileDescriptor file = openRegularForRead(path);
  struct stat st {};
  return file.isOpen() && fstat(file.get(), &st) == 0 && st.st_size == 0;
}

// Entries of the sorted list whose lower-cased names are equal stand next
// to each other; each of them keeps its listed name for the texts.
void markLetterCaseTwins(nodeManagerClass& list) {
  nodeClass* previous = nullptr;
  for (nodeClass* entry = list.getHead(); entry != nullptr; entry = entry->getNext()) {
    if (previous != nullptr && previous->getName() && entry->getName() &&
        compareUploadNames(*previous->getName(), *entry->getName()) == 0) {
      previous->setKeepsListedName(true);
      entry->setKeepsListedName(true);
    }
    previous = entry;
  }
}

// Puts the scanned entries (in listing order) into the list in name order
// without walking it for each one: taken from the greatest name down, every
// entry goes in front, past only the entries of the same name, which keep
// their listing order as insertSorted promises.
void insertAll(nodeManagerClass& list, std::vector<std::unique_ptr<nodeClass>>& entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return compareUploadNames(*a->getName(), *b->getName()) > 0; });
  for (auto& entry : entries) {
    list.insertSorted(std::move(entry));
  }
  entries.clear();
}

}  // namespace

int buildUploadList(nodeManagerClass& list, const std::string& directory, const SettingsStore& settings,
                    UserPrompt& prompt, const std::vector<std::string>& ownFiles) {
  list.clear();
  DescriptionLookup lookup(settings, prompt);
  int result = kScanOk;
  std::vector<std::string> names;
  if (directory.empty() || !listRegularFiles(directory, names)) {
    return result;
  }
  const OwnFiles own(ownFiles);
  const std::optional<FileIdentity> folder = identityOf(directory);
  std::vector<std::unique_ptr<nodeClass>> entries;
  for (const std::string& name : names) {
    const std::string path = joinPath(directory, name);
    if (isEmptyFile(path) || isReportFileName(name) || equalsIgnoringCase(name, kFilesBbsName) ||
        (folder && own.contains(*folder, name, path))) {
      continue;
    }
    std::optional<std::string> description = lookup.lookupDescription(name);
    if (lookup.lookupStatus() == kLookupFatal) {
      insertAll(list, entries);
      return kScanFatal;
    }
    result = std::max(result, lookup.lookupStatus());
    entries.push_back(std::make_unique<nodeClass>(name, std::move(description)));
  }
  insertAll(list, entries);
  markLetterCaseTwins(list);
  return result;
}

std::int64_t fileSizeOf(const std::string& path) {
  const FileDescriptor file = openRegularForRead(path);
  struct stat st {};
  if (!file.isOpen() || fstat(file.get(), &st) != 0) {
    return 0;
  }
  return static_cast<std::int64_t>(st.st_size);
}

bool isReportFileName(std::string_view name) {
  return trimmed(toLowerAscii(std::string(name))).starts_with("report");
}

}  // namespace tidewell
