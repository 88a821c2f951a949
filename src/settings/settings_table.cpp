#include "settings/settings_table.h"

#include <algorithm>

#include "platform/text.h"

namespace tidewell {

std::optional<Setting> findSetting(std::string_view name) {
  for (const SettingRow& row : kSettings) {
    if (equalsIgnoringCase(row.name, name)) {
      return row.key;
    }
  }
  return std::nullopt;
}

bool isServerKey(Setting key) {
  return std::find(kServerKeys.begin(), kServerKeys.end(), key) != kServerKeys.end();
}

std::optional<SectionKey> findSectionKey(std::string_view name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos) {
    if (const std::optional<Setting> key = findSetting(name)) {
      return SectionKey{0, *key};
    }
    return std::nullopt;
  }
  const std::string_view section = name.substr(0, dot);
  for (std::size_t i = 0; i < kServerSections.size(); ++i) {
    if (!equalsIgnoringCase(kServerSections[i], section)) {
      continue;
    }
    const std::optional<Setting> key = findSetting(name.substr(dot + 1));
    if (!key || !isServerKey(*key)) {
      return std::nullopt;
    }
    return SectionKey{kFirstBackupServer + static_cast<int>(i), *key};
  }
  return std::nullopt;
}

std::string sectionKeyName(SectionKey key) {
  std::string name;
  if (key.server >= kFirstBackupServer && key.server <= kLastBackupServer) {
    name = kServerSections[static_cast<std::size_t>(key.server - kFirstBackupServer)];
    name += '.';
  }
  name += rowOf(key.key).name;
  return name;
}

std::optional<std::size_t> choiceIndex(Setting key, std::string_view text) {
  const std::span<const std::string_view> choices = rowOf(key).choices;
  const std::string_view wanted = trimmedView(text);
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (equalsIgnoringCase(choices[i], wanted)) {
      return i;
    }
  }
  return std::nullopt;
}

std::string choicesText(Setting key) {
  const std::span<const std::string_view> choices = rowOf(key).choices;
  std::string text;
  for (std::size_t i = 0; i < choices.size(); ++i) {
    if (i > 0) {
      text += i + 1 == choices.size() ? " or " : ", ";
    }
    text += choices[i];
  }
  return text;
}

bool withinRange(Setting key, std::int64_t value) {
  const SettingRange& range = rowOf(key).range;
  return (value >= range.low && value <= range.high) || (value == 0 && range.zeroAllowed);
}

std::int64_t clampedToRange(Setting key, std::int64_t value) {
  const SettingRange& range = rowOf(key).range;
  if (value == 0 && range.zeroAllowed) {
    return 0;
  }
  return std::clamp(value, range.low, range.high);
}

std::string rangeText(Setting key) {
  const SettingRange& range = rowOf(key).range;
  std::string text = std::to_string(range.low) + " to " + std::to_string(range.high);
  return range.zeroAllowed ? "0, or " + text : text;
}

}  // namespace tidewell
