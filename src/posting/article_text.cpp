#include "posting/article_text.h"

namespace tidewell {

std::string headerSafeText(std::string_view text, char replacement) {
  std::string safe(text);
  for (char& c : safe) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
      c = replacement;
    }
  }
  return safe;
}

std::string bodyWireLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + 16);
  bool atLineStart = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
      lines += "\r\n";
      atLineStart = true;
      continue;
    }
    if (atLineStart && c == '.') {
      lines += '.';
    }
    lines += c;
    atLineStart = false;
  }
  return lines;
}

}  // namespace tidewell
