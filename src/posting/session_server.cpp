#include "posting/session_server.h"

#include "platform/text.h"
#include "settings/backup_servers.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"

namespace tidewell {

namespace {
// A backup server's keys in messages: "Server2.Port".
constexpr std::string_view kServerKeyPrefixes[] = {"Server2.", "Server3.", "Server4.", "Server5.",
                                                   "Server6.", "Server7.", "Server8.", "Server9."};
static_assert(std::size(kServerKeyPrefixes) == kServerSections.size());
}  // namespace

static_assert(kEncryptionChoices[static_cast<std::size_t>(Encryption::StartTls)] == "STARTTLS");

ConnectionKeys connectionKeys(const ServerChoice& server) {
  ConnectionKeys keys;
  const std::string prefix(server.keyPrefix);
  // The table's choices are in the order of Encryption; empty is None.
  const std::optional<std::size_t> mode =
      trimmedView(server.encryption).empty() ? 0 : choiceIndex(Setting::Encryption, server.encryption);
  if (!mode) {
    keys.problem = prefix + "Encryption must be " + choicesText(Setting::Encryption) + ".";
    return keys;
  }
  keys.encryption = static_cast<Encryption>(*mode);
  if (server.port < 0 || server.port > 65535) {
    keys.problem = prefix + "Port must be a number from 1 to 65535.";
    return keys;
  }
  keys.tls = server.tls;
  if (keys.encryption != Encryption::None) {
    keys.problem = CheckTlsSettings(keys.tls);
    if (!keys.problem.empty()) {
      return keys;
    }
  }
  keys.port = static_cast<std::uint16_t>(effectivePort(server.port, server.encryption));
  return keys;
}

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
