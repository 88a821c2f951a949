#include "posting/session_server.h"

#include "platform/host_address.h"
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

ConnectionPlan planConnection(const ServerChoice& server, const SettingsStore& settings) {
  ConnectionPlan plan;
  if (!server.host) {
    plan.problem = "Host name not found.";
    return plan;
  }
  const std::string prefix(server.keyPrefix);
  // The table's choices are in the order of Encryption; empty is None.
  const std::optional<std::size_t> mode =
      trimmedView(server.encryption).empty() ? 0 : choiceIndex(Setting::Encryption, server.encryption);
  if (!mode) {
    plan.problem = prefix + "Encryption must be " + choicesText(Setting::Encryption) + ".";
    return plan;
  }
  LinkSettings& link = plan.link;
  link.encryption = static_cast<Encryption>(*mode);
  if (server.port < 0 || server.port > 65535) {
    plan.problem = prefix + "Port must be a number from 1 to 65535.";
    return plan;
  }
  link.tls = server.tls;
  if (link.encryption != Encryption::None) {
    plan.problem = CheckTlsSettings(link.tls);
    if (!plan.problem.empty()) {
      return plan;
    }
  }
  const std::string name = server.host->substr(0, kHostNameLimit);
  const HostAddressResult address = parseHostAddress(name);
  if (!address.value) {
    plan.problem = address.problem;
    return plan;
  }
  plan.shownName = name;
  plan.hostFamily = address.value->family;
  link.hostName = address.value->host;
  link.port = address.value->port.value_or(static_cast<std::uint16_t>(effectivePort(server.port, server.encryption)));
  const std::string proxyText = settings.read(Setting::Proxy);
  const ProxyAddressResult proxy = parseProxyAddress(proxyText);
  if (!proxyText.empty() && !proxy.value) {
    plan.problem = proxy.problem;
    return plan;
  }
  link.proxy = proxy.value;
  link.family = addressFamilyChoice(settings.read(Setting::AddressFamily)).value_or(kAfUnspec);
  link.username = server.username;
  link.password = server.password;
  return plan;
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
