#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "settings/settings_table.h"

namespace tidewell {

class SettingsStore;

// The backup servers of the server panel: sections [Server2] to [Server9] of
// the configuration file, each with the main server's key names and rules.
// A backup whose Host is empty (or absent) is no server at all.
inline constexpr int kFirstBackupServer = 2;
inline constexpr int kLastBackupServer = 9;
inline constexpr std::size_t kBackupServerCount = kLastBackupServer - kFirstBackupServer + 1;

// The keys of a backup, in the order the panel shows and Ok checks them.
inline constexpr std::array<Setting, 9> kBackupServerKeys = {
    Setting::Host,      Setting::Port,      Setting::Username, Setting::Password,    Setting::Encryption,
    Setting::TLSVerify, Setting::TLSCAFile, Setting::TLSPin,   Setting::Connections,
};
using BackupServerValues = std::array<std::string, kBackupServerKeys.size()>;

// "Server2" for backup 2.
[[nodiscard]] std::string backupSectionName(int number);

// The backup's values as stored (cut at the panel's buffer); an absent Host
// reads empty, every other absent key as the main server's default.
[[nodiscard]] BackupServerValues readBackupServer(const SettingsStore& store, int number);

struct BackupServerCheck {
  BackupServerValues stored;                       // the values to write, when all passed
  std::size_t refused = kBackupServerKeys.size();  // the index of the refused value
  std::string problem;                             // empty when all passed
};
// The main server's rules for every value, except that an empty Host is
// allowed; a refusal names the backup ("Backup server 2: ...").
[[nodiscard]] BackupServerCheck checkBackupServer(int number, const BackupServerValues& entered);

// Writes the values that differ from `loaded` (what readBackupServer gave),
// so a backup nobody touched adds nothing to the file. False when the file
// could not be written.
bool writeBackupServer(SettingsStore& store, int number, const BackupServerValues& stored,
                       const BackupServerValues& loaded);

}  // namespace tidewell
