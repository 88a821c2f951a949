#pragma once

#include <optional>
#include <string>
#include <string_view>

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
// containing the file name (any letter case, anywhere in the line) gives the
// text after the name, trimmed, cut at its first tab and then at its first
// run of two spaces. Messages go to `prompt` under "Tidewell Error".
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

  const SettingsStore& settings_;
  UserPrompt& prompt_;
  int status_ = kLookupOk;
  int warnings_ = 0;
};

// Writes a FILES.BBS template into `directory` (replacing any old one): a
// header the lookup ignores, then one line per non-empty file, its name and
// one space. Lines end with CR LF. False, after telling the user, when the
// file cannot be created or written.
bool createFilesBbsTemplate(const std::string& directory, UserPrompt& prompt);

}  // namespace tidewell
