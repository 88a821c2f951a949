#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
// empty files, hidden files, directories, names beginning
// with "report" (the program's own reports), FILES.BBS in any letter case,
// and the program's own files named in `ownFiles` (configuration file, log,
// spools, lock). Those are recognised by identity (device and inode), so a
// link or another spelling of the directory makes no difference, and by
// their name in their own folder when they do not exist yet. Entries whose
// lower-cased names collide keep their listed names for the texts
// (nodeClass::textName). A file that cannot be opened stays listed: the run
// fails it with its reason, so the report has a line for it. Description lookups show their messages through
// `prompt`. Returns kScanOk, kScanWarnings or kScanFatal (the list then
// holds the files taken before the problem).
int buildUploadList(nodeManagerClass& list, const std::string& directory, const SettingsStore& settings,
                    UserPrompt& prompt, const std::vector<std::string>& ownFiles = {});

// Length in bytes of the regular file at `path`; 0 when it cannot be opened
// for reading or is not a regular file.
[[nodiscard]] std::int64_t fileSizeOf(const std::string& path);

// True when the name, lower-cased and trimmed, begins with "report".
[[nodiscard]] bool isReportFileName(std::string_view name);

}  // namespace tidewell
