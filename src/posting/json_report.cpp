#include "posting/json_report.h"

#include <cstdio>
#include <ctime>

#include "platform/file_io.h"

namespace tidewell {

namespace {
constexpr int kSchemaVersion = 1;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of `text`, or,
// when there is none, minus the length of its maximal invalid subpart (at
// least one byte), which becomes one U+FFFD.
int utf8SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const unsigned char lead = byte(0);
  int length = 0;
  unsigned char low = 0x80;  // the range the second byte must fall in
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
    high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
  } else {
    return -1;
  }
  for (int i = 1; i < length; ++i) {
    const std::size_t at = static_cast<std::size_t>(i);
    if (at >= text.size() || byte(at) < (i == 1 ? low : 0x80) || byte(at) > (i == 1 ? high : 0xBF)) {
      return -i;
    }
  }
  return length;
}

// A well-formed UTF-8 character above ASCII: as it is, but for the C1
// controls and the non-characters U+FFFE and U+FFFF, which are escaped.
void appendNonAsciiCharacter(std::string& out, std::string_view sequence) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(sequence[at])); };
  unsigned escapedCode = 0;
  if (sequence.size() == 2 && byte(0) == 0xC2 && byte(1) <= 0x9F) {
    escapedCode = byte(1);
  } else if (sequence.size() == 3 && byte(0) == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) {
    escapedCode = 0xFFC0 | (byte(2) & 0x3F);
  }
  if (escapedCode == 0) {
    out += sequence;
    return;
  }
  char escaped[12];
  std::snprintf(escaped, sizeof escaped, "\\u%04x", escapedCode);
  out += escaped;
}

class DocumentWriter {
 public:
  void line(int depth, std::string_view text) {
    out_.append(static_cast<std::size_t>(depth) * 2, ' ');
    out_ += text;
    out_ += '\n';
  }
  std::string& out() { return out_; }

 private:
  std::string out_;
};

std::string quoted(std::string_view text) {
  std::string out;
  appendJsonString(out, text);
  return out;
}

std::string member(std::string_view name, std::string_view jsonValue) {
  return quoted(name) + ": " + std::string(jsonValue);
}

std::string outcomeName(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Finished:
      return "finished";
    case RunOutcome::FinishedWithFailures:
      return "finished_with_failures";
    case RunOutcome::NotRun:  // still under way: a run killed now did not finish
    case RunOutcome::EndedWithoutFinishing:
      return "ended_without_finishing";
  }
  return "ended_without_finishing";
}

std::string settingValue(const SettingRecord& setting) {
  return setting.type == SettingType::Text || setting.type == SettingType::Choice ? quoted(setting.value)
                                                                                  : setting.value;
}

std::string partObject(const PartRecord& part) {
  std::string text = "{";
  text += member("number", std::to_string(part.number));
  text += ", " + member("outcome", part.outcome == PartOutcome::Ok ? "\"ok\"" : "\"failed\"");
  text += ", " + member("reply", part.reply.empty() ? "null" : quoted(part.reply));
  if (!part.reason.empty()) {
    text += ", " + member("reason", quoted(part.reason));
  }
  text += ", " + member("bytes", std::to_string(part.bytes));
  if (!part.messageId.empty()) {
    text += ", " + member("message_id", quoted(part.messageId));
  }
  if (part.earlierRun) {
    text += ", " + member("earlier_run", "true");
  }
  return text + "}";
}

void writeFile(DocumentWriter& doc, const FileRecord& file, bool last) {
  doc.line(2, "{");
  doc.line(3, member("name", quoted(file.name)) + ",");
  doc.line(3, member("size", std::to_string(file.size)) + ",");
  doc.line(3, member("description", quoted(file.description)) + ",");
  doc.line(3, member("part_count", std::to_string(file.partCount)) + ",");
  if (file.parts.empty()) {
    doc.line(3, member("parts", "[]"));
  } else {
    doc.line(3, member("parts", "["));
    for (std::size_t i = 0; i < file.parts.size(); ++i) {
      doc.line(4, partObject(file.parts[i]) + (i + 1 < file.parts.size() ? "," : ""));
    }
    doc.line(3, "]");
  }
  doc.line(2, last ? "}" : "},");
}
}  // namespace

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  while (!text.empty()) {
    const unsigned char c = static_cast<unsigned char>(text.front());
    if (c >= 0x80) {
      const int length = utf8SequenceLength(text);
      const std::size_t taken = static_cast<std::size_t>(length > 0 ? length : -length);
      if (length > 0) {
        appendNonAsciiCharacter(out, text.substr(0, taken));
      } else {
        out += kReplacement;
      }
      text.remove_prefix(taken);
      continue;
    }
    text.remove_prefix(1);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
        break;
    }
  }
  out += '"';
}

std::string isoLocalTime(std::int64_t epochSeconds) {
  const std::time_t seconds = static_cast<std::time_t>(epochSeconds);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) {
    return {};
  }
  const long offset = local.tm_gmtoff;
  const long magnitude = offset < 0 ? -offset : offset;
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', magnitude / 3600,
                magnitude % 3600 / 60);
  return text;
}

std::string jsonReportName(std::string_view textReportName) {
  const std::size_t dot = textReportName.rfind('.');
  return std::string(textReportName.substr(0, dot)) + ".json";
}

std::string jsonReportText(const RunRecord& record) {
  DocumentWriter doc;
  doc.line(0, "{");
  doc.line(1, member("schema", std::to_string(kSchemaVersion)) + ",");
  doc.line(1, member("text_report", quoted(record.textReport)) + ",");
  doc.line(1, member("started", quoted(isoLocalTime(record.started))) + ",");
  doc.line(1, member("ended", record.ended ? quoted(isoLocalTime(*record.ended)) : "null") + ",");
  doc.line(1, member("outcome", quoted(outcomeName(record.outcome))) + ",");
  doc.line(1, member("settings", "{"));
  for (std::size_t i = 0; i < record.settings.size(); ++i) {
    const SettingRecord& setting = record.settings[i];
    doc.line(2, member(setting.name, settingValue(setting)) + (i + 1 < record.settings.size() ? "," : ""));
  }
  doc.line(1, "},");
  if (record.files.empty()) {
    doc.line(1, member("files", "[]"));
  } else {
    doc.line(1, member("files", "["));
    for (std::size_t i = 0; i < record.files.size(); ++i) {
      writeFile(doc, record.files[i], i + 1 == record.files.size());
    }
    doc.line(1, "]");
  }
  doc.line(0, "}");
  return std::move(doc.out());
}

bool writeJsonReport(const std::string& path, const RunRecord& record) {
  return replaceFile(path, jsonReportText(record), kSharedFile);
}

}  // namespace tidewell
