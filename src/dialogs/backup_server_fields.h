#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "settings/settings_table.h"

namespace tidewell {

class SettingsStore;

// What the server panel edits of the backup servers, sections [Server2] to
// [Server9]: the keys of kServerKeys, with the main server's names and
// rules. A backup whose Host is empty (or absent) is no server at all; an
// empty Connections takes the main server's number.
inline constexpr std::size_t kBackupServerCount = kServerSections.size();
using BackupServerValues = std::array<std::string, kServerKeys.size()>;

// The backup's values as stored; an absent Host or Connections reads empty,
// every other absent key as the main server's default.
[[nodiscard]] BackupServerValues readBackupServer(const SettingsStore& store, int number);

struct BackupServerCheck {
  BackupServerValues stored;                 // the values to write, when all passed
  std::size_t refused = kServerKeys.size();  // the index of the refused value
  std::string problem;                       // empty when all passed
};
// The main server's rules for every value, except that an empty Host or
// Connections is allowed; a refusal names the backup ("Backup server 2: ...").
[[nodiscard]] BackupServerCheck checkBackupServer(int number, const BackupServerValues& entered);

// Writes the values that differ from `loaded` (what readBackupServer gave),
// so a backup nobody touched adds nothing to the file. False when the file
// could not be written.
bool writeBackupServer(SettingsStore& store, int number, const BackupServerValues& stored,
                       const BackupServerValues& loaded);

}  // namespace tidewell
