#include "settings/backup_servers.h"

#include "platform/text.h"
#include "settings/settings_store.h"

namespace tidewell {

std::vector<BackupServer> backupServers(const SettingsStore& settings) {
  std::vector<BackupServer> servers;
  for (int number = kFirstBackupServer; number <= kLastBackupServer; ++number) {
    const auto read = [&](Setting key) { return settings.read(SectionKey{number, key}); };
    std::string host = trimmed(settings.read(SectionKey{number, Setting::Host}, ""));
    if (host.empty()) {
      continue;
    }
    BackupServer server;
    server.number = number;
    server.host = std::move(host);
    server.port = parseDecimalSetting(read(Setting::Port));
    server.encryption = read(Setting::Encryption);
    server.tlsVerify = parseBoolSetting(read(Setting::TLSVerify));
    server.tlsCaFile = read(Setting::TLSCAFile);
    server.tlsPin = read(Setting::TLSPin);
    server.username = read(Setting::Username);
    server.password = read(Setting::Password);
    server.connections = parseDecimalSetting(settings.read(SectionKey{number, Setting::Connections}, "0"));
    servers.push_back(std::move(server));
  }
  return servers;
}

}  // namespace tidewell
