#include "posting/run_record.h"

#include "settings/settings_store.h"

namespace tidewell {

FileRecord* RunRecord::findFile(std::string_view name) {
  for (FileRecord& file : files) {
    if (file.name == name) {
      return &file;
    }
  }
  return nullptr;
}

std::vector<SettingRecord> settingsSnapshot(const SettingsStore& settings) {
  std::vector<SettingRecord> snapshot;
  for (const SettingSpec& spec : kSettings) {
    if (spec.field == SettingField::Masked) {
      continue;
    }
    SettingRecord entry{spec.name, spec.type, {}};
    switch (spec.type) {
      case SettingType::Flag:
        entry.value = settings.flag(spec.key) ? "true" : "false";
        break;
      case SettingType::Number:
        entry.value = std::to_string(settings.number64(spec.key));
        break;
      case SettingType::Text:
        if (spec.key == Setting::Host) {
          entry.value = settings.getHost().value_or("");
        } else if (spec.field == SettingField::Lines) {
          entry.value = decodeBodyComment(settings.read(spec.key));
        } else {
          entry.value = settings.read(spec.key);
        }
        break;
    }
    snapshot.push_back(std::move(entry));
  }
  return snapshot;
}

}  // namespace tidewell
