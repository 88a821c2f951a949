#include "settings/value_rules.h"

#include <algorithm>
#include <iterator>
#include <optional>

#include "platform/host_address.h"
#include "platform/text.h"
#include "settings/rate_schedule.h"
#include "settings/settings_store.h"

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
  return {"", std::string(rowOf(key).name) + " is TRUE or FALSE."};
}

bool allDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A decimal number (digits only) within the key's range, else nothing.
std::optional<std::int64_t> numberWithin(std::string_view text, Setting key) {
  if (!allDigits(text)) {
    return std::nullopt;
  }
  text.remove_prefix(std::min(text.find_first_not_of('0'), text.size() - 1));  // leading zeros, not the last digit
  if (text.size() > 18) {
    return std::nullopt;
  }
  const std::int64_t value = parseDecimalSetting64(text);
  if (!withinRange(key, value)) {
    return std::nullopt;
  }
  return value;
}

// The key's choice as spelled in the table when `text` is one of them.
std::optional<std::string_view> oneOf(std::string_view text, Setting key) {
  if (const auto index = choiceIndex(key, text)) {
    return rowOf(key).choices[*index];
  }
  return std::nullopt;
}

// The name of a choice key in its panel message.
std::string choiceCaption(Setting key) {
  switch (key) {
    case Setting::VerifyEncryption:
      return "VERIFY ENCRYPTION";
    case Setting::Encoding:
      return "ENCODING";
    default:
      return "ENCRYPTION";
  }
}

bool isPin(std::string_view text) {
  std::size_t digits = 0;
  for (const char c : text) {
    if (c == ':') {
      continue;
    }
    const char lower = lowerAscii(c);
    if (!((lower >= '0' && lower <= '9') || (lower >= 'a' && lower <= 'f'))) {
      return false;
    }
    ++digits;
  }
  return digits == 64;
}

// A number key's rule: its value is digits within the key's range (and a
// multiple of `multiple`); an empty value is 0 where `emptyIsZero`.
// `problem` is the panel's message, RANGE standing for the range.
struct NumberRule {
  Setting key;
  bool emptyIsZero;
  std::int64_t multiple;
  std::string_view problem;
};
static_assert(kHighestPort == 65535);
constexpr NumberRule kNumberRules[] = {
    {Setting::Port, true, 1,
     "The news server PORT must be a number from 1 to 65535, or 0 for the usual port (119, or 563 with TLS)."},
    {Setting::VerifyPort, true, 1, "The VERIFY PORT must be a number from 1 to 65535, or 0 for the usual port."},
    {Setting::LineLength, false, 1, "The yEnc LINE LENGTH must be a number from RANGE."},
    {Setting::Connections, false, 1, "The number of CONNECTIONS must be from RANGE."},
    {Setting::VerifyDelay, true, 1, "The VERIFY DELAY must be a number of seconds from RANGE."},
    {Setting::Par2Redundancy, false, 1, "The PAR2 REDUNDANCY must be a percentage from RANGE."},
    {Setting::Par2SliceSize, true, 4,
     "The PAR2 SLICE SIZE must be a multiple of 4 from RANGE bytes, or 0 to let the program choose."},
    {Setting::Par2Memory, false, 1, "The PAR2 MEMORY must be a number of MiB from RANGE."},
    {Setting::MaxRate, true, 1, "The MAX RATE must be a number of KiB/s from RANGE, 0 for no cap."},
};

std::optional<CheckedValue> checkedNumber(Setting key, const std::string& text) {
  const auto rule = std::find_if(std::begin(kNumberRules), std::end(kNumberRules),
                                 [key](const NumberRule& candidate) { return candidate.key == key; });
  if (rule == std::end(kNumberRules)) {
    return std::nullopt;
  }
  if (const auto value = numberWithin(text.empty() && rule->emptyIsZero ? "0" : text, key);
      value && *value % rule->multiple == 0) {
    return CheckedValue{std::to_string(*value), ""};
  }
  std::string problem(rule->problem);
  if (const std::size_t at = problem.find("RANGE"); at != std::string::npos) {
    problem.replace(at, 5, rangeText(key));
  }
  return CheckedValue{"", std::move(problem)};
}

// The keys with rules of their own; nothing for the other keys.
std::optional<CheckedValue> checkedServerValue(Setting key, const std::string& text) {
  if (auto number = checkedNumber(key, text)) {
    return number;
  }
  switch (key) {
    case Setting::Par2Name:
      if (std::string problem = par2NameProblem(text); !problem.empty()) {
        return CheckedValue{"", std::move(problem)};
      }
      return CheckedValue{text, ""};
    case Setting::VerifyEncryption:
    case Setting::Encryption:
    case Setting::Encoding:
      if (const auto choice = oneOf(text, key)) {
        return CheckedValue{std::string(*choice), ""};
      }
      return CheckedValue{"", "The " + choiceCaption(key) + " must be " + choicesText(key) + "."};
    case Setting::TLSPin:
      if (text.empty() || isPin(text)) {
        return CheckedValue{text, ""};
      }
      return CheckedValue{"",
                          "The certificate PIN must be empty or the SHA-256 fingerprint of the server's "
                          "certificate: 64 hex digits (colons allowed)."};
    case Setting::Host:
      if (text.empty()) {
        return std::nullopt;  // the rule for an empty value
      }
      if (HostAddressResult parsed = parseHostAddress(text); !parsed.value) {
        return CheckedValue{"", std::move(parsed.problem)};
      }
      return CheckedValue{text, ""};
    case Setting::VerifyHost:
      if (text.empty()) {
        return CheckedValue{"", ""};  // the posting server
      }
      if (HostAddressResult parsed = parseHostAddress(text); !parsed.value) {
        std::string problem = std::move(parsed.problem);
        if (const std::size_t at = problem.find("HOST"); at != std::string::npos) {
          problem.insert(at, "VERIFY ");
        }
        return CheckedValue{"", std::move(problem)};
      }
      return CheckedValue{text, ""};
    case Setting::AddressFamily:
      if (const auto choice = oneOf(text.empty() ? "Any" : text, key)) {
        return CheckedValue{std::string(*choice), ""};
      }
      return CheckedValue{"", "The ADDRESS FAMILY must be " + choicesText(key) + "."};
    case Setting::Proxy:
      if (text.empty()) {
        return CheckedValue{"", ""};
      }
      if (ProxyAddressResult parsed = parseProxyAddress(text); !parsed.value) {
        return CheckedValue{"", std::move(parsed.problem)};
      }
      return CheckedValue{text, ""};
    case Setting::MaxRateSchedule:
      if (RateScheduleResult parsed = parseRateSchedule(text); !parsed.value) {
        return CheckedValue{"", std::move(parsed.problem)};
      }
      return CheckedValue{text, ""};
    case Setting::MessageIDDomain:
      if (isDotAtom(text)) {
        return CheckedValue{text, ""};
      }
      return CheckedValue{"",
                          "The Message-ID DOMAIN must be a name such as example.invalid: letters, digits and "
                          "!#$%&'*+-/=?^_`{|}~ in parts separated by single dots."};
    case Setting::NzbName:
      if (std::string problem = nzbNameProblem(text); !problem.empty()) {
        return CheckedValue{"", std::move(problem)};
      }
      return CheckedValue{text, ""};
    default:
      return std::nullopt;
  }
}

}  // namespace

std::string nzbNameProblem(std::string_view name) {
  const std::string text = trimmed(std::string(name));
  const bool control = std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  if (text.find('/') != std::string::npos || control || text == "." || text == "..") {
    return "The NZB NAME must be a file name of its own, written beside ReportNN.nzb: no \"/\", no control "
           "character, not \".\" or \"..\".";
  }
  return {};
}

std::string par2NameProblem(std::string_view name) {
  const std::string text = trimmed(std::string(name));
  const bool control = std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
  if (text.find('/') != std::string::npos || control || text == "." || text == "..") {
    return "The PAR2 NAME must be a file name of its own: no \"/\", no control character, not \".\" or \"..\".";
  }
  return {};
}

std::string nzbFileNameFor(std::string_view name) {
  std::string text = trimmed(std::string(name));
  if (text.empty()) {
    return text;
  }
  if (!toLowerAscii(text).ends_with(".nzb")) {
    text += ".nzb";
  }
  return text;
}

bool isDotAtom(std::string_view text) {
  static constexpr std::string_view kAtextSymbols = "!#$%&'*+-/=?^_`{|}~";
  bool atomStart = true;
  for (const char c : text) {
    if (c == '.') {
      if (atomStart) {
        return false;  // a leading dot or two dots together
      }
      atomStart = true;
      continue;
    }
    const char lower = lowerAscii(c);
    const bool atext =
        (lower >= 'a' && lower <= 'z') || (c >= '0' && c <= '9') || kAtextSymbols.find(c) != std::string_view::npos;
    if (!atext) {
      return false;
    }
    atomStart = false;
  }
  return !text.empty() && !atomStart;
}

std::int32_t effectivePort(std::int32_t port, std::string_view encryption) {
  if (port > 0 && port <= kHighestPort) {
    return port;
  }
  constexpr std::size_t kTls = 1;
  static_assert(kEncryptionChoices[kTls] == "TLS");
  return choiceIndex(Setting::Encryption, encryption) == kTls ? kNntpsPort : kNntpPort;
}

CheckedValue checkSettingValue(Setting key, std::string_view entered) {
  const SettingRow& row = rowOf(key);
  if (row.field == SettingField::Lines) {
    return {bodyCommentForStorage(entered), ""};
  }
  std::string text = trimmed(cutUtf8(entered, kFieldLimit));
  if (auto checked = checkedServerValue(key, text)) {
    return std::move(*checked);
  }
  switch (row.type) {
    case SettingType::Flag:
      return checkedFlag(key, text);
    case SettingType::Number:
      if (key == Setting::PartSize) {
        return {std::to_string(normalisedPartSize(text)), ""};
      }
      return {std::to_string(parseDecimalSetting64(text)), ""};
    case SettingType::Text:
    case SettingType::Choice:
      return checkedText(key, std::move(text));
  }
  return {std::move(text), ""};
}

CheckedValue checkCommandLineValue(Setting key, std::string_view entered) {
  const SettingRow& row = rowOf(key);
  if (row.type == SettingType::Number) {
    const std::string text = trimmed(std::string(entered));
    const bool negative = !text.empty() && text.front() == '-' && row.range.low < 0;
    const std::string_view digits = std::string_view(text).substr(negative ? 1 : 0);
    const std::int64_t value = negative ? -parseDecimalSetting64(digits) : parseDecimalSetting64(digits);
    if (!allDigits(digits) || digits.size() > 18 || !withinRange(key, value)) {
      return {"", std::string(row.name) + " must be a number from " + rangeText(key) + "; \"" + text + "\" is not."};
    }
  }
  return checkSettingValue(key, entered);
}

std::string combinationProblem(std::int64_t connections, bool fastPosting) {
  if (connections > 1 && !fastPosting) {
    return "Connections=" + std::to_string(connections) +
           " needs FastPosting=TRUE: without it a run posts on one connection. Set FastPosting=TRUE as well, or "
           "Connections=1.";
  }
  return {};
}

std::string obfuscationProblem(bool obfuscate, std::string_view encoding) {
  if (obfuscate && choiceIndex(Setting::Encoding, encoding) != 1) {
    return "Obfuscate=TRUE needs Encoding=yEnc: only yEnc posts can hide the file names. Set Encoding=yEnc as well, "
           "or Obfuscate=FALSE.";
  }
  return {};
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
