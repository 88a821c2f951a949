#pragma once

#include <string>

namespace tidewell {

// The program's whitespace is exactly space, tab, carriage return and line
// feed; nothing else is trimmed.
[[nodiscard]] constexpr bool isTrimmable(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string& trimTrailing(std::string& text);
std::string& trimLeading(std::string& text);
// trimTrailing, then trimLeading; returns the same text.
std::string& trimWhitespace(std::string& text);
[[nodiscard]] std::string trimmed(std::string text);

// ASCII-only lower-casing, as the program compares switches and booleans.
[[nodiscard]] std::string toLowerAscii(std::string text);

}  // namespace tidewell
