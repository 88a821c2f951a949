#include "settings/value_rules.h"

#include "settings/settings_store.h"
#include "settings/trim.h"

namespace tidewell {

namespace {

// The message when a key that must not be empty is, else empty.
std::string_view emptyValueProblem(Setting key) {
  switch (key) {
    case Setting::Host:
      return "The news server HOST has not been specified.";
    case Setting::Directory:
      return "No files directory specified.  Please indicate the directory to source upload files from.";
    case Setting::Newsgroup:
      return "No news group directory specified.  Please indicate the newsgroup to upload files to.";
    default:
      return {};
  }
}

CheckedValue checkedText(Setting key, std::string text) {
  if (key == Setting::From && text.find('@') == std::string::npos) {
    return {"", fromNeedsAtMessage()};
  }
  if (text.empty()) {
    return {"", std::string(emptyValueProblem(key))};
  }
  return {std::move(text), ""};
}

CheckedValue checkedFlag(Setting key, const std::string& text) {
  const std::string lowered = toLowerAscii(text);
  if (lowered == "true" || lowered == "false") {
    return {lowered == "true" ? "TRUE" : "FALSE", ""};
  }
  return {"", std::string(specOf(key).name) + " is TRUE or FALSE."};
}

}  // namespace

CheckedValue checkSettingValue(Setting key, std::string_view entered) {
  const SettingSpec& spec = specOf(key);
  if (spec.field == SettingField::Lines) {
    return {bodyCommentForStorage(entered), ""};
  }
  std::string text = trimmed(cutUtf8(entered, kFieldLimit));
  switch (spec.type) {
    case SettingType::Flag:
      return checkedFlag(key, text);
    case SettingType::Number:
      if (key == Setting::PartSize) {
        return {std::to_string(normalisedPartSize(text)), ""};
      }
      return {std::to_string(parseDecimalSetting64(text)), ""};
    case SettingType::Text:
      return checkedText(key, std::move(text));
  }
  return {std::move(text), ""};
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
