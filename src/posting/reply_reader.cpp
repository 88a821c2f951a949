#include "posting/reply_reader.h"

#include "platform/text.h"

namespace tidewell {

std::string_view ReplyReader::add(char* bytes, int size) {
  const auto count = static_cast<std::size_t>(size);
  replaceControlCharacters(bytes, count);
  pending_.append(bytes, count);
  return {bytes, count};
}

std::string ReplyReader::takeLine() {
  const std::size_t end = pending_.find('\n');
  if (end == std::string::npos) {
    return {};
  }
  std::string line = pending_.substr(0, end + 1);
  pending_.erase(0, end + 1);
  return line;
}

std::string shownReply(std::string_view line) {
  std::string text;
  for (const char c : line) {
    if (c == '\r' || c == '\n') {
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    text += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
  return text;
}

}  // namespace tidewell
