#include "dialogs/backup_servers.h"

#include "platform/profile.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"

namespace tidewell {

std::string backupSectionName(int number) {
  return "Server" + std::to_string(number);
}

BackupServerValues readBackupServer(const SettingsStore& store, int number) {
  const std::string section = backupSectionName(number);
  BackupServerValues values;
  for (std::size_t i = 0; i < kBackupServerKeys.size(); ++i) {
    const SettingRow& row = rowOf(kBackupServerKeys[i]);
    const std::string_view absent = kBackupServerKeys[i] == Setting::Host ? std::string_view() : row.defaultValue;
    values[i] = readProfileString(store.configFilePath(), section, row.name, absent, kFieldLimit);
  }
  return values;
}

BackupServerCheck checkBackupServer(int number, const BackupServerValues& entered) {
  BackupServerCheck result;
  for (std::size_t i = 0; i < kBackupServerKeys.size(); ++i) {
    const Setting key = kBackupServerKeys[i];
    CheckedValue value = key == Setting::Host && entered[i].find_first_not_of(" \t") == std::string::npos
                             ? CheckedValue{"", ""}
                             : checkSettingValue(key, entered[i]);
    if (!value.problem.empty()) {
      result.refused = i;
      result.problem = "Backup server " + std::to_string(number) + ": " + value.problem;
      return result;
    }
    result.stored[i] = std::move(value.stored);
  }
  return result;
}

bool writeBackupServer(SettingsStore& store, int number, const BackupServerValues& stored,
                       const BackupServerValues& loaded) {
  const std::string section = backupSectionName(number);
  for (std::size_t i = 0; i < kBackupServerKeys.size(); ++i) {
    if (stored[i] != loaded[i] &&
        !writeProfileString(store.configFilePath(), section, rowOf(kBackupServerKeys[i]).name, stored[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace tidewell
