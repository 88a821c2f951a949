#pragma once

#include <string>
#include <string_view>

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
// The view without the whitespace at its ends.
[[nodiscard]] std::string_view trimmedView(std::string_view text);

// ASCII-only letter case: the program compares switches, booleans, key and
// file names this way, whatever the locale.
[[nodiscard]] constexpr char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
[[nodiscard]] std::string toLowerAscii(std::string text);
[[nodiscard]] bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tidewell
