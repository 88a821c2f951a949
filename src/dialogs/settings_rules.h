#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "settings/value_rules.h"

namespace tidewell {

// The rules of the settings panel that need no widget. What a field may
// hold and how it is stored are the settings' own rules (value_rules.h,
// shared with "--set"); here is what only the panel shows.

inline constexpr std::string_view kTidewellErrorCaption = "Tidewell Error";
inline constexpr std::string_view kPlaceholderHost = "news.example.com";

// The part of the subject prefix that the sample subject uses.
inline constexpr std::size_t kSamplePrefixLimit = 254;
// The part of the Files From Dir text that E D I T uses.
inline constexpr std::size_t kEditDirectoryLimit = 255;

// The subject a real article would carry, with made-up values:
// "<prefix> - The BBS Description - SOMEFILE.ZIP - [1/1] 123456 bytes".
[[nodiscard]] std::string sampleSubject(std::string_view prefix, bool useBbs, bool appendFileSize);

}  // namespace tidewell
