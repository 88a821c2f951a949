#include "upload/nzb_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/file_io.h"

namespace tidewell {
namespace {

constexpr std::string_view kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE nzb PUBLIC \"-//newzBin//DTD NZB 1.1//EN\" \"http://www.newzbin.com/DTD/nzb/nzb-1.1.dtd\">\n"
    "<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed UTF-8 sequence at the start of `text`, 0 when
// it is not one (overlong forms, surrogates and values past U+10FFFF
// included).
std::size_t utf8SequenceLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (text.size() < length) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < (i == 1 ? low : 0x80) || c > (i == 1 ? high : 0xBF)) {
      return 0;
    }
  }
  return length;
}

std::string stripBrackets(std::string_view id) {
  if (id.size() >= 2 && id.front() == '<' && id.back() == '>') {
    id = id.substr(1, id.size() - 2);
  }
  return std::string(id);
}

}  // namespace

std::string xmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = utf8SequenceLength(text);
    if (length == 0) {
      out += kReplacement;
      text.remove_prefix(1);
      continue;
    }
    if (length > 1) {
      // Well-formed, yet not a character XML 1.0 allows: the C1 controls
      // (U+0080 to U+009F) become "?" as the C0 ones do, the
      // non-characters U+FFFE and U+FFFF the replacement character.
      const std::string_view sequence = text.substr(0, length);
      if (length == 2 && static_cast<unsigned char>(sequence[0]) == 0xC2 &&
          static_cast<unsigned char>(sequence[1]) <= 0x9F) {
        out += '?';
      } else if (sequence == "\xEF\xBF\xBE" || sequence == "\xEF\xBF\xBF") {
        out += kReplacement;
      } else {
        out += sequence;
      }
      text.remove_prefix(length);
      continue;
    }
    const char c = text[0];
    text.remove_prefix(1);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += (static_cast<unsigned char>(c) < 0x20 && c != '\t') ? '?' : c;
    }
  }
  return out;
}

void NzbDocument::addMeta(std::string type, std::string value) {
  if (!value.empty()) {
    meta_.emplace_back(std::move(type), std::move(value));
  }
}

std::size_t NzbDocument::addFile(std::string subject, std::string poster, std::int64_t date,
                                 std::vector<std::string> groups, std::int32_t partCount) {
  files_.push_back(File{std::move(subject), std::move(poster), date, std::move(groups), partCount, {}});
  return files_.size() - 1;
}

bool NzbDocument::addSegment(std::size_t file, std::int32_t number, std::int64_t bytes, std::string_view messageId) {
  if (file >= files_.size()) {
    return false;
  }
  auto& segments = files_[file].segments;
  const auto at = std::lower_bound(segments.begin(), segments.end(), number,
                                   [](const Segment& s, std::int32_t n) { return s.number < n; });
  if (at != segments.end() && at->number == number) {
    at->bytes = bytes;
    at->messageId = stripBrackets(messageId);
  } else {
    segments.insert(at, Segment{number, bytes, stripBrackets(messageId)});
  }
  return true;
}

bool NzbDocument::removeSegment(std::size_t file, std::int32_t number) {
  if (file >= files_.size()) {
    return false;
  }
  auto& segments = files_[file].segments;
  const auto at =
      std::find_if(segments.begin(), segments.end(), [number](const Segment& s) { return s.number == number; });
  if (at == segments.end()) {
    return false;
  }
  segments.erase(at);
  return true;
}

bool NzbDocument::isComplete() const {
  return std::all_of(files_.begin(), files_.end(), [](const File& file) {
    return static_cast<std::int64_t>(file.segments.size()) >= file.partCount;
  });
}

std::string NzbDocument::text() const {
  std::string out(kHead);
  if (!meta_.empty()) {
    out += " <head>\n";
    for (const auto& [type, value] : meta_) {
      out += "  <meta type=\"" + xmlEscaped(type) + "\">" + xmlEscaped(value) + "</meta>\n";
    }
    out += " </head>\n";
  }
  for (const File& file : files_) {
    if (file.segments.empty()) {
      continue;
    }
    out += " <file poster=\"" + xmlEscaped(file.poster) + "\" date=\"" + std::to_string(file.date) + "\" subject=\"" +
           xmlEscaped(file.subject) + "\">\n  <groups>\n";
    for (const std::string& group : file.groups) {
      out += "   <group>" + xmlEscaped(group) + "</group>\n";
    }
    out += "  </groups>\n  <segments>\n";
    for (const Segment& segment : file.segments) {
      out += "   <segment bytes=\"" + std::to_string(segment.bytes) + "\" number=\"" + std::to_string(segment.number) +
             "\">" + xmlEscaped(segment.messageId) + "</segment>\n";
    }
    out += "  </segments>\n </file>\n";
  }
  out += "</nzb>\n";
  return out;
}

bool NzbDocument::writeAtomically(const std::string& path) const {
  return replaceFile(path, text(), kSharedFile);
}

}  // namespace tidewell
