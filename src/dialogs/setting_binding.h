#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "settings/settings_table.h"

class QWidget;

namespace tidewell {

class SettingsStore;

// A widget of the settings panel bound to a key of the settings table. The
// key's panel field says what the widget is: a QLineEdit (Line, Masked), a
// QPlainTextEdit (Lines), a QCheckBox (Check) or a QComboBox (Choice).
struct SettingBinding {
  SettingBinding(QWidget* boundWidget, Setting boundKey, std::optional<std::string> absentSuggestion = std::nullopt)
      : widget(boundWidget), key(boundKey), suggestion(std::move(absentSuggestion)) {}

  QWidget* widget;
  Setting key;
  // Shown when the key is absent instead of its default (a placeholder host,
  // the temporary folder as a source directory).
  std::optional<std::string> suggestion;
};

// Fills the widget from the configuration file, as stored and untrimmed:
// texts through the panel's buffer (kFieldLimit), booleans by the boolean rule.
void showSetting(const SettingBinding& binding, const SettingsStore& store);
// The same for a value read elsewhere (another section of the file), in its
// stored form.
void showSettingText(const SettingBinding& binding, std::string_view stored);

// The widget's value as entered, for checkSettingValue: "TRUE"/"FALSE" for a
// check box.
[[nodiscard]] std::string enteredSetting(const SettingBinding& binding);

// Whether the widget's key is on, for the keys that need it (the table's
// `needs`): a check box ticked, a choice other than the first ("None"; a
// combo box with nothing picked counts as on, so its field stays mendable).
[[nodiscard]] bool settingIsOn(const SettingBinding& binding);

}  // namespace tidewell
