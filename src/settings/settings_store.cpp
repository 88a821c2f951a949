#include "settings/settings_store.h"

#include <limits>

#include "platform/profile.h"
#include "platform/text.h"

namespace tidewell {

namespace {
constexpr unsigned char kStoredCarriageReturn = 0xFC;
constexpr unsigned char kStoredLineFeed = 0xE9;

bool isContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}
}  // namespace

bool parseBoolSetting(std::string value) {
  value = toLowerAscii(std::move(value));
  return trimWhitespace(value) == "true";
}

std::int64_t parseDecimalSetting64(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t' || value[i] == '\n' || value[i] == '\r' ||
                              value[i] == '\v' || value[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
    negative = value[i] == '-';
    ++i;
  }
  std::int64_t result = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    const int digit = value[i] - '0';
    if (result > (kMax - digit) / 10) {
      result = kMax;
      break;
    }
    result = result * 10 + digit;
  }
  return negative ? -result : result;
}

std::int32_t parseDecimalSetting(std::string_view value) {
  const std::int64_t wide = parseDecimalSetting64(value);
  if (wide > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (wide < std::numeric_limits<std::int32_t>::min()) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(wide);
}

std::string encodeBodyComment(std::string_view text) {
  std::string stored(text);
  for (char& c : stored) {
    if (c == '\r') {
      c = static_cast<char>(kStoredCarriageReturn);
    } else if (c == '\n') {
      c = static_cast<char>(kStoredLineFeed);
    }
  }
  return stored;
}

std::string decodeBodyComment(std::string_view stored) {
  std::string text(stored);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == kStoredCarriageReturn) {
      text[i] = '\r';
    } else if (c == kStoredLineFeed) {
      const bool utf8Character = i + 2 < text.size() && isContinuation(static_cast<unsigned char>(text[i + 1])) &&
                                 isContinuation(static_cast<unsigned char>(text[i + 2]));
      if (utf8Character) {
        i += 2;
      } else {
        text[i] = '\n';
      }
    }
  }
  return text;
}

std::string SettingsStore::read(Setting key) const {
  const SettingRow& row = rowOf(key);
  return read(row.name, row.defaultValue, row.readLimit);
}

std::string SettingsStore::read(Setting key, std::string_view defaultValue, std::size_t limit) const {
  return read(rowOf(key).name, defaultValue, limit);
}

bool SettingsStore::flag(Setting key) const {
  return parseBoolSetting(read(key));
}

std::int32_t SettingsStore::number(Setting key) const {
  return parseDecimalSetting(read(key));
}

std::int64_t SettingsStore::number64(Setting key) const {
  return parseDecimalSetting64(read(key));
}

bool SettingsStore::write(Setting key, std::string_view value) {
  return write(rowOf(key).name, value);
}

std::string SettingsStore::read(std::string_view name, std::string_view defaultValue, std::size_t limit) const {
  if (!overlay_.empty()) {
    if (const std::optional<Setting> key = findSetting(name)) {
      if (const auto laid = overlay_.find(*key); laid != overlay_.end()) {
        return laid->second.substr(0, limit);
      }
    }
  }
  return readProfileString(path_, kSettingsSection, name, defaultValue, limit);
}

bool SettingsStore::write(std::string_view name, std::string_view value) {
  if (!writeProfileString(path_, kSettingsSection, name, value)) {
    return false;
  }
  if (const std::optional<Setting> key = findSetting(name)) {
    overlay_.erase(*key);
  }
  return true;
}

void SettingsStore::overlay(Setting key, std::string value) {
  overlay_[key] = std::move(value);
}

namespace {
std::string_view sectionOf(int server) {
  if (server >= kFirstBackupServer && server <= kLastBackupServer) {
    return kServerSections[static_cast<std::size_t>(server - kFirstBackupServer)];
  }
  return kSettingsSection;
}
}  // namespace

std::string SettingsStore::read(SectionKey key) const {
  return read(key, rowOf(key.key).defaultValue);
}

std::string SettingsStore::read(SectionKey key, std::string_view defaultValue) const {
  const SettingRow& row = rowOf(key.key);
  if (sectionOf(key.server) == kSettingsSection) {
    return read(row.name, defaultValue, row.readLimit);
  }
  if (const auto laid = serverOverlay_.find({key.server, key.key}); laid != serverOverlay_.end()) {
    return laid->second.substr(0, row.readLimit);
  }
  return readProfileString(path_, sectionOf(key.server), row.name, defaultValue, row.readLimit);
}

bool SettingsStore::write(SectionKey key, std::string_view value) {
  if (sectionOf(key.server) == kSettingsSection) {
    return write(key.key, value);
  }
  if (!writeProfileString(path_, sectionOf(key.server), rowOf(key.key).name, value)) {
    return false;
  }
  serverOverlay_.erase({key.server, key.key});
  return true;
}

void SettingsStore::overlay(SectionKey key, std::string value) {
  if (sectionOf(key.server) == kSettingsSection) {
    overlay(key.key, std::move(value));
  } else {
    serverOverlay_[{key.server, key.key}] = std::move(value);
  }
}

std::optional<std::string> SettingsStore::getHost() const {
  std::string host = read(Setting::Host);
  if (host == kHostNotSet) {
    return std::nullopt;
  }
  return host;
}

std::string SettingsStore::getBodyComment() const {
  return decodeBodyComment(read(Setting::BodyComment));
}

}  // namespace tidewell
