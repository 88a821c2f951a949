#include "posting/session_server.h"

#include "platform/text.h"
#include "settings/settings_store.h"

namespace tidewell {

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

}  // namespace tidewell
