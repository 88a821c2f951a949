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
