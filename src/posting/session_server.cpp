#include "posting/session_server.h"

#include "platform/text.h"
#include "settings/backup_servers.h"
#include "settings/settings_store.h"

namespace tidewell {

namespace {
// A backup server's keys in messages: "Server2.Port".
constexpr std::string_view kServerKeyPrefixes[] = {"Server2.", "Server3.", "Server4.", "Server5.",
                                                   "Server6.", "Server7.", "Server8.", "Server9."};
static_assert(std::size(kServerKeyPrefixes) == kServerSections.size());
}  // namespace

ServerChoice postingServer(const SettingsStore& settings) {
  ServerChoice server;
  server.host = settings.getHost();
  server.port = settings.number(Setting::Port);
  server.encryption = settings.read(Setting::Encryption);
  server.tls =
      TlsSettings{settings.flag(Setting::TLSVerify), settings.read(Setting::TLSCAFile), settings.read(Setting::TLSPin)};
  server.username = settings.getUsername();
  server.password = settings.getPassword();
  return server;
}

ServerChoice verifyServer(const SettingsStore& settings) {
  std::string host = trimmed(settings.read(Setting::VerifyHost));
  if (host.empty()) {
    return postingServer(settings);
  }
  ServerChoice server;
  server.host = std::move(host);
  server.port = settings.number(Setting::VerifyPort);
  server.encryption = settings.read(Setting::VerifyEncryption);
  server.tls = TlsSettings{settings.flag(Setting::TLSVerify), settings.read(Setting::TLSCAFile), {}};
  server.username = settings.read(Setting::VerifyUsername);
  server.password = settings.read(Setting::VerifyPassword);
  server.keyPrefix = "Verify";
  return server;
}

std::vector<ServerChoice> backupServerChoices(const SettingsStore& settings) {
  std::vector<ServerChoice> servers;
  for (BackupServer& backup : backupServers(settings)) {
    ServerChoice server;
    server.host = std::move(backup.host);
    server.port = backup.port;
    server.encryption = std::move(backup.encryption);
    server.tls = TlsSettings{backup.tlsVerify, std::move(backup.tlsCaFile), std::move(backup.tlsPin)};
    server.username = std::move(backup.username);
    server.password = std::move(backup.password);
    server.keyPrefix = kServerKeyPrefixes[static_cast<std::size_t>(backup.number - kFirstBackupServer)];
    server.connections = backup.connections;
    servers.push_back(std::move(server));
  }
  return servers;
}

}  // namespace tidewell
