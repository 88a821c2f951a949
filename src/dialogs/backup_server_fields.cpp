#include "dialogs/backup_server_fields.h"

#include "settings/settings_store.h"
#include "settings/value_rules.h"

namespace tidewell {

namespace {

// Host and Connections may be left empty: no such server, the main
// server's number of connections.
bool mayBeEmpty(Setting key) {
  return key == Setting::Host || key == Setting::Connections;
}

}  // namespace

BackupServerValues readBackupServer(const SettingsStore& store, int number) {
  BackupServerValues values;
  for (std::size_t i = 0; i < kServerKeys.size(); ++i) {
    const Setting key = kServerKeys[i];
    values[i] = store.read(SectionKey{number, key}, mayBeEmpty(key) ? std::string_view() : rowOf(key).defaultValue);
  }
  return values;
}

BackupServerCheck checkBackupServer(int number, const BackupServerValues& entered) {
  BackupServerCheck result;
  for (std::size_t i = 0; i < kServerKeys.size(); ++i) {
    const Setting key = kServerKeys[i];
    CheckedValue value = mayBeEmpty(key) && entered[i].find_first_not_of(" \t") == std::string::npos
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
  for (std::size_t i = 0; i < kServerKeys.size(); ++i) {
    if (stored[i] != loaded[i] && !store.write(SectionKey{number, kServerKeys[i]}, stored[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace tidewell
