#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings_table.h"

namespace tidewell {

class SettingsStore;

// One backup server: the keys of its section [ServerN] as stored (absent
// keys read as the main server's defaults).
struct BackupServer {
  int number = 0;  // 2..9: section [ServerN]
  std::string host;
  std::int32_t port = 0;   // 0: the usual port of `encryption`
  std::string encryption;  // None, TLS or STARTTLS
  bool tlsVerify = true;
  std::string tlsCaFile;
  std::string tlsPin;
  std::string username;  // empty: no login
  std::string password;
  // Connections of the section; 0 when the key is absent (the main
  // server's number holds).
  std::int32_t connections = 0;
};

// The backup servers in the order a run tries them: [Server2] to
// [Server9], leaving out sections whose Host is absent or blank.
[[nodiscard]] std::vector<BackupServer> backupServers(const SettingsStore& settings);

}  // namespace tidewell
