#include "dialogs/settings_rules.h"

#include "platform/text.h"
#include "settings/settings_store.h"

namespace tidewell {

std::string sampleSubject(std::string_view prefix, bool useBbs, bool appendFileSize) {
  std::string subject = trimmed(cutUtf8(prefix, kSamplePrefixLimit));
  if (useBbs) {
    if (!subject.empty()) {
      subject += " - ";
    }
    subject += "The BBS Description";
  }
  if (!subject.empty()) {
    subject += " - ";
  }
  subject += "SOMEFILE.ZIP - [1/1]";
  if (appendFileSize) {
    subject += " 123456 bytes";
  }
  return subject;
}

std::int32_t normalisedPartSize(std::string_view text) {
  const std::int32_t value = parseDecimalSetting(trimmed(std::string(text)));
  if (value < 0) {
    return 0;
  }
  if (value > 0 && value < kMinimumPartSize) {
    return kMinimumPartSize;
  }
  return value;
}

std::string bodyCommentForStorage(std::string_view editText) {
  std::string text;
  text.reserve(editText.size() + editText.size() / 16);
  for (const char c : editText) {
    if (c == '\n') {
      text += "\r\n";
    } else {
      text += c;
    }
  }
  return encodeBodyComment(trimmed(cutUtf8(text, kFieldLimit)));
}

std::string bodyCommentForEditing(std::string_view stored) {
  const std::string decoded = decodeBodyComment(stored);
  std::string text;
  text.reserve(decoded.size());
  for (std::size_t i = 0; i < decoded.size(); ++i) {
    if (decoded[i] == '\r') {
      text += '\n';
      if (i + 1 < decoded.size() && decoded[i + 1] == '\n') {
        ++i;
      }
    } else {
      text += decoded[i];
    }
  }
  return text;
}

std::string cutUtf8(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) {
    return std::string(text);
  }
  std::size_t end = limit;
  // Step back over continuation bytes to the start of the cut character.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0U) == 0x80U) {
    --end;
  }
  return std::string(text.substr(0, end));
}

std::string fromNeedsAtMessage() {
  return "The From: header MUST contain an @ symbol, with a valid form of email address.  If you want to be "
         "'anonymous' you can use something like '"
         "nobody@nowhere.example <Anonymous>"
         "' (without the quotes)";
}

}  // namespace tidewell
