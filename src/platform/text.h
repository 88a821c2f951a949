#pragma once

#include <cstddef>
#include <cstdio>
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

// What a server sends is shown, logged and reported with every control
// character but CR, LF and TAB made '?', so no escape sequence from a server
// ever reaches a terminal or a file raw.
void replaceControlCharacters(char* data, std::size_t size);
[[nodiscard]] std::string withControlCharactersReplaced(std::string text);

// The text without the carriage returns and line feeds at its end.
[[nodiscard]] std::string_view withoutLineEnd(std::string_view text);

// printf-style formatting into a string of the length it needs.
template <typename... Args>
[[nodiscard]] std::string formatText(const char* pattern, Args... args) {
  const int length = std::snprintf(nullptr, 0, pattern, args...);
  std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  std::snprintf(text.data(), text.size() + 1, pattern, args...);
  return text;
}

}  // namespace tidewell
