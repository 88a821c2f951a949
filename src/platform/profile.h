#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tidewell {

// INI profile functions, with the rules the configuration file format relies
// on:
// - section and key names match without regard to case;
// - an absent key, section or file reads as the caller's default; a key that
//   is present with an empty value reads as an empty text;
// - a read returns at most `readLimit` characters of the value;
// - a write replaces the value of the first matching key, or adds the key
//   (at the end of its section), the section (at the end of the file) or the
//   file; every other line of the file is kept as it was.
// Values are single lines, read without the blanks around them; a value
// wrapped in matching quotes (" or ') reads without them. A write quotes a
// value that would otherwise not read back as given (blanks at its ends, or
// quotes of its own around it), cuts it at its first line break, and goes
// through a symbolic link to the file it names. A file that exists but cannot
// be read is never written (that would lose its other settings). Lines are
// matched after a UTF-8 byte order mark at the start of the file.
// A file the write creates is made readable by its owner only (mode 0600):
// the configuration holds a password. Every write replaces the file in one
// rename from a temporary file that is created exclusively and readable by
// the owner only (replaceFile), so a link planted at a temporary name never
// receives the text.
[[nodiscard]] std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                                            std::string_view defaultValue, std::size_t readLimit);

// Returns false when the file could not be written (callers may ignore it).
bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace tidewell
