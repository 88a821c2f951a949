#include "upload/upload_scan.h"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "upload/files_bbs.h"
#include "upload/upload_list.h"

namespace tidewell {

int buildUploadList(nodeManagerClass& list, const std::string& directory, const SettingsStore& settings,
                    UserPrompt& prompt) {
  list.clear();
  DescriptionLookup lookup(settings, prompt);
  int result = kScanOk;
  std::vector<std::string> names;
  if (directory.empty() || !listRegularFiles(directory, names)) {
    return result;
  }
  for (const std::string& name : names) {
    if (fileSizeOf(joinPath(directory, name)) <= 0 || isReportFileName(name) ||
        equalsIgnoringCase(name, kFilesBbsName)) {
      continue;
    }
    std::optional<std::string> description = lookup.lookupDescription(name);
    if (lookup.lookupStatus() == kLookupFatal) {
      return kScanFatal;
    }
    result = std::max(result, lookup.lookupStatus());
    list.insertSorted(std::make_unique<nodeClass>(name, std::move(description)));
  }
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
