#include "platform/text.h"

#include <algorithm>

namespace tidewell {

std::string& trimTrailing(std::string& text) {
  const auto end = std::find_if_not(text.rbegin(), text.rend(), isTrimmable);
  text.erase(end.base(), text.end());
  return text;
}

std::string& trimLeading(std::string& text) {
  const auto begin = std::find_if_not(text.begin(), text.end(), isTrimmable);
  text.erase(text.begin(), begin);
  return text;
}

std::string& trimWhitespace(std::string& text) {
  return trimLeading(trimTrailing(text));
}

std::string trimmed(std::string text) {
  trimWhitespace(text);
  return text;
}

std::string_view trimmedView(std::string_view text) {
  while (!text.empty() && isTrimmable(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isTrimmable(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

std::string toLowerAscii(std::string text) {
  for (char& c : text) {
    c = lowerAscii(c);
  }
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

void replaceControlCharacters(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    if ((byte < 0x20 && byte != '\r' && byte != '\n' && byte != '\t') || byte == 0x7F) {
      data[i] = '?';
    }
  }
}

std::string withControlCharactersReplaced(std::string text) {
  replaceControlCharacters(text.data(), text.size());
  return text;
}

std::string_view withoutLineEnd(std::string_view text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace tidewell
