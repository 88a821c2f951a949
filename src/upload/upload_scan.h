#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tidewell {

class nodeManagerClass;
class SettingsStore;
class UserPrompt;

// Results of buildUploadList.
inline constexpr int kScanOk = 0;        // every file taken without remark
inline constexpr int kScanWarnings = 1;  // some file had no FILES.BBS description
inline constexpr int kScanFatal = 2;     // a FILES.BBS problem stopped the scan

// Fills `list` (cleared first) with the files of `directory`, in name order,
// with their FILES.BBS descriptions when the UseBBS setting is on. Left out:
// empty and unreadable files, hidden files, directories, names beginning
// with "report" (the program's own reports) and FILES.BBS in any letter
// case. Description lookups show their messages through `prompt`.
// Returns kScanOk, kScanWarnings or kScanFatal (the list then holds the
// files taken before the problem).
int buildUploadList(nodeManagerClass& list, const std::string& directory, const SettingsStore& settings,
                    UserPrompt& prompt);

// Length in bytes of the regular file at `path`; 0 when it cannot be opened
// for reading or is not a regular file.
[[nodiscard]] std::int64_t fileSizeOf(const std::string& path);

// True when the name, lower-cased and trimmed, begins with "report".
[[nodiscard]] bool isReportFileName(std::string_view name);

}  // namespace tidewell
