#pragma once

#include <string>
#include <string_view>

#include "upload/source_tap.h"

namespace tidewell {

// Results of encodeFile.
inline constexpr int kEncodeOk = 1;
inline constexpr int kEncodeNoDirectory = -101;   // directory text empty after trimming
inline constexpr int kEncodeOutputFailed = -102;  // output cannot be created or written
inline constexpr int kEncodeSourceFailed = -103;  // source cannot be opened or read

// Files posted as plain text rather than uuencoded: ".txt", ".bat" and
// ".ini", in any letter case.
[[nodiscard]] bool isTextFile(std::string_view fileName);

// Writes the encoded text of the file `sourceName` in `directory` to
// `outputPath` (replaced). `sourceName` is the name as the directory listing
// gives it, so files with upper-case names open on a case-sensitive file
// system; the lower-cased form belongs in the article texts only.
//
// Binary files become uuencoded data lines (no "begin"/"end" lines), each
// ended by CR LF, a length character "." written twice, closed by a line
// holding only "`". Text files are copied with every line end made CR LF
// and a dot doubled at the start of every line.
//
// `tap`, when given, sees every source byte once as it is read.
//
// Returns kEncodeOk or one of the negative codes; a failed write or read
// part-way is reported too (the output is then incomplete).
[[nodiscard]] int encodeFile(const std::string& directory, const std::string& sourceName, const std::string& outputPath,
                             const SourceTap& tap = {});

}  // namespace tidewell
