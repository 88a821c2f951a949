#include "posting/run_record.h"

#include "platform/host_address.h"
#include "platform/text.h"
#include "settings/settings_store.h"

namespace tidewell {

PartRecord partOk(std::string_view reply) {
  PartRecord part;
  part.outcome = PartOutcome::Ok;
  part.reply = withoutLineEnd(reply);
  return part;
}

PartRecord partFailed(std::string_view reply, std::string_view reason) {
  PartRecord part;
  part.reply = withoutLineEnd(reply);
  part.reason = reason;
  return part;
}

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
  for (const SettingRow& row : kSettings) {
    if (row.field == SettingField::Masked) {
      continue;
    }
    SettingRecord entry{row.name, row.type, {}};
    switch (row.type) {
      case SettingType::Flag:
        entry.value = settings.flag(row.key) ? "true" : "false";
        break;
      case SettingType::Number:
        entry.value = std::to_string(settings.number64(row.key));
        break;
      case SettingType::Text:
      case SettingType::Choice:
        if (row.key == Setting::Host) {
          entry.value = settings.getHost().value_or("");
        } else if (row.key == Setting::Proxy) {
          entry.value = maskedProxyText(settings.read(row.key));
        } else if (row.field == SettingField::Lines) {
          entry.value = decodeBodyComment(settings.read(row.key));
        } else {
          entry.value = settings.read(row.key);
        }
        break;
    }
    snapshot.push_back(std::move(entry));
  }
  return snapshot;
}

}  // namespace tidewell
