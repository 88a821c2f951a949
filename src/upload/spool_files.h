#pragma once

#include <string_view>

namespace tidewell {

// The two spool files, both in the current directory: the encoded lines of
// the file being posted, and the complete article being sent.
inline constexpr std::string_view kEncodedFileName = "TIDEWELL.ENC";
inline constexpr std::string_view kArticleFileName = "TIDEWELL.ART";

// Delete both spool files; a file that does not exist is no error.
void deleteSpoolFiles();

}  // namespace tidewell
