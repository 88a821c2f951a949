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
  const std::size_t limit = row.field == SettingField::Check ? kBoolLimit : kFieldLimit;
  showSettingText(binding, store.read(binding.key, absent, limit));
}

void showSettingText(const SettingBinding& binding, std::string_view stored) {
  const SettingRow& row = rowOf(binding.key);
  switch (row.field) {
    case SettingField::Check:
      qobject_cast<QCheckBox*>(binding.widget)->setChecked(parseBoolSetting(std::string(stored)));
      return;
    case SettingField::Lines:
      qobject_cast<QPlainTextEdit*>(binding.widget)
          ->setPlainText(QString::fromStdString(bodyCommentForEditing(stored)));
      return;
    case SettingField::Line:
    case SettingField::Masked:
      qobject_cast<QLineEdit*>(binding.widget)->setText(QString::fromStdString(std::string(stored)));
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
      const QString text = QString::fromStdString(std::string(stored)).trimmed();
      combo->setCurrentIndex(combo->findText(text, Qt::MatchFixedString));
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
