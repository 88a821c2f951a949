#include "settings/trim.h"

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

std::string toLowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return text;
}

}  // namespace tidewell
