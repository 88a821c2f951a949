#include "posting/display_text.h"

#include "platform/text.h"

namespace tidewell {

std::vector<std::string> splitListLines(std::string_view text) {
  std::vector<std::string> lines;
  std::string rest(text.substr(0, kListTextLimit));
  trimWhitespace(rest);
  for (;;) {
    std::size_t cut = rest.find('\r');
    if (cut == std::string::npos) {
      cut = rest.find('\n');
    }
    std::string piece = rest.substr(0, cut);
    trimWhitespace(piece);
    if (!piece.empty()) {
      lines.push_back(std::move(piece));
    }
    if (cut == std::string::npos) {
      break;
    }
    rest.erase(0, cut + 1);
    trimWhitespace(rest);
  }
  return lines;
}

std::string appendedFileLine(std::string_view lastLine, std::string_view text) {
  std::string line(lastLine);
  line += text;
  if (line.size() > kFileLineLimit) {
    line.resize(kFileLineLimit);
  }
  return line;
}

}  // namespace tidewell
