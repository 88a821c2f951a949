#include "dialogs/setting_binding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "settings/settings_store.h"
#include "settings/value_rules.h"

namespace tidewell {

void showSetting(const SettingBinding& binding, const SettingsStore& store) {
  const SettingRow& row = rowOf(binding.key);
  const std::string_view absent = binding.suggestion ? std::string_view(*binding.suggestion) : row.defaultValue;
  switch (row.field) {
    case SettingField::Check:
      qobject_cast<QCheckBox*>(binding.widget)
          ->setChecked(parseBoolSetting(store.read(binding.key, absent, kBoolLimit)));
      return;
    case SettingField::Lines:
      qobject_cast<QPlainTextEdit*>(binding.widget)
          ->setPlainText(QString::fromStdString(bodyCommentForEditing(store.read(binding.key, absent, kFieldLimit))));
      return;
    case SettingField::Line:
    case SettingField::Masked:
      qobject_cast<QLineEdit*>(binding.widget)
          ->setText(QString::fromStdString(store.read(binding.key, absent, kFieldLimit)));
      if (row.type == SettingType::Number) {
        binding.widget->setToolTip(QString::fromStdString(rangeText(binding.key)));
      }
      return;
    case SettingField::Choice: {
      // The table's choices; a stored value that is none of them selects
      // nothing, so Ok refuses it until one is picked.
      auto* combo = qobject_cast<QComboBox*>(binding.widget);
      combo->clear();
      for (const std::string_view choice : row.choices) {
        combo->addItem(QString::fromUtf8(choice.data(), static_cast<qsizetype>(choice.size())));
      }
      const QString stored = QString::fromStdString(store.read(binding.key, absent, kFieldLimit)).trimmed();
      combo->setCurrentIndex(combo->findText(stored, Qt::MatchFixedString));
      return;
    }
    case SettingField::Hidden:
      return;
  }
}

bool settingIsOn(const SettingBinding& binding) {
  if (rowOf(binding.key).type == SettingType::Choice) {
    return choiceIndex(binding.key, enteredSetting(binding)) != 0u;
  }
  return parseBoolSetting(enteredSetting(binding));
}

std::string enteredSetting(const SettingBinding& binding) {
  switch (rowOf(binding.key).field) {
    case SettingField::Check:
      return qobject_cast<QCheckBox*>(binding.widget)->isChecked() ? "TRUE" : "FALSE";
    case SettingField::Lines:
      return qobject_cast<QPlainTextEdit*>(binding.widget)->toPlainText().toStdString();
    case SettingField::Line:
    case SettingField::Masked:
      return qobject_cast<QLineEdit*>(binding.widget)->text().toStdString();
    case SettingField::Choice:
      return qobject_cast<QComboBox*>(binding.widget)->currentText().toStdString();
    case SettingField::Hidden:
      break;
  }
  return {};
}

}  // namespace tidewell
