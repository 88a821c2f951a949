#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tidewell {

class SettingsStore;
class UserPrompt;

inline constexpr std::string_view kFilesBbsName = "FILES.BBS";
inline constexpr std::string_view kUploadErrorCaption = "Tidewell Error";

// Outcome of the last description lookup.
inline constexpr int kLookupOk = 0;
inline constexpr int kLookupWarning = 1;  // the file has no description line
inline constexpr int kLookupFatal = 2;    // no directory, no FILES.BBS, unreadable

// The path of the directory's FILES.BBS under whatever letter case it has
// on disk ("FILES.BBS" itself preferred); the upper-case path when there is
// none.
[[nodiscard]] std::string filesBbsPath(const std::string& directory);

// FILES.BBS description lookups of one scan. A description line is any line
// that does not begin with a space or a tab and is not blank; the first one
// that begins with the whole file name (any letter case), followed by white
// space or the end of the line, gives the text after the name, trimmed, cut
// at its first tab and then at its first run of two spaces. The file is read
// once and indexed by the first word of each line; it is read again only when
// it changes, so a scan of many files stays fast. Messages go to `prompt`
// under "Tidewell Error".
class DescriptionLookup {
 public:
  DescriptionLookup(const SettingsStore& settings, UserPrompt& prompt) : settings_(settings), prompt_(prompt) {}
  DescriptionLookup(const DescriptionLookup&) = delete;
  DescriptionLookup& operator=(const DescriptionLookup&) = delete;

  // The description of `fileName`, or none (UseBBS off, a problem, no
  // line). Sets lookupStatus(); a missing line counts a warning, shown for
  // the first four, then "Not displaying further warnings.", then silence.
  [[nodiscard]] std::optional<std::string> lookupDescription(std::string_view fileName);

  [[nodiscard]] int lookupStatus() const { return status_; }
  [[nodiscard]] int lookupWarnings() const { return warnings_; }
  // A new scan starts counting warnings from zero.
  void resetWarnings() { warnings_ = 0; }

 private:
  void fatal(std::string_view message);
  // The lookup file's path in `directory`, none when it has none.
  [[nodiscard]] std::optional<std::string> lookupFilePath(const std::string& directory);
  // Reads the open lookup file into the index unless it is the one indexed.
  void index(int fd, const std::string& path);

  // Which file, in which state, the index holds.
  struct Stamp {
    std::string path;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
  };

  const SettingsStore& settings_;
  UserPrompt& prompt_;
  int status_ = kLookupOk;
  int warnings_ = 0;
  std::string foundIn_;    // the directory searched last
  std::string foundPath_;  // its lookup file
  Stamp indexed_;
  std::vector<std::string> lines_;  // description lines, trailing white space removed
  // Lower-cased first word of a line (up to a space or tab): its line
  // numbers in file order.
  std::unordered_map<std::string, std::vector<std::size_t>> linesByFirstWord_;
};

// Writes a FILES.BBS template into `directory` (replacing any old one): a
// header the lookup ignores, then one line per non-empty file, its name and
// one space. Lines end with CR LF. False, after telling the user, when the
// file cannot be created or written.
bool createFilesBbsTemplate(const std::string& directory, UserPrompt& prompt);

}  // namespace tidewell
