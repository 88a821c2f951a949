#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/tls_channel.h"
#include "posting/nntp_dialogue.h"

namespace tidewell {

class SettingsStore;

// The news server a connection goes to, read from the settings once as the
// connection starts, so the same dialogue serves the posting server and the
// server Verify asks.
struct ServerChoice {
  std::optional<std::string> host;  // not set: the key is absent
  std::int32_t port = 0;            // as written; 0 is the usual port of `encryption`
  std::string encryption;           // as written: None, TLS or STARTTLS
  TlsSettings tls;
  std::string username;  // empty: no login
  std::string password;
  // Names the keys in messages: "" (Port, Encryption), "Verify" or
  // "Server2.".
  std::string_view keyPrefix;
  // A backup server's own Connections; 0: not set (the main number holds).
  std::int32_t connections = 0;
};

// Encryption, Port and the TLS keys of a server, checked as a connection to
// it starts: a mistyped Encryption is never taken for a plain connection,
// nor a Port out of range for some other port.
struct ConnectionKeys {
  Encryption encryption = Encryption::None;
  std::uint16_t port = 0;  // the usual port of the encryption when none is set
  TlsSettings tls;
  std::string problem;  // names the key that cannot work; empty: usable
};
[[nodiscard]] ConnectionKeys connectionKeys(const ServerChoice& server);

// Host, Port, Encryption, Username, Password and the TLS keys.
[[nodiscard]] ServerChoice postingServer(const SettingsStore& settings);
// VerifyHost with VerifyPort, VerifyEncryption, VerifyUsername,
// VerifyPassword, TLSVerify and TLSCAFile (a pin names the posting server's
// certificate, so TLSPin is not used); the posting server when VerifyHost
// is empty.
[[nodiscard]] ServerChoice verifyServer(const SettingsStore& settings);
// The backup servers of sections [Server2] to [Server9] that have a Host,
// in order.
[[nodiscard]] std::vector<ServerChoice> backupServerChoices(const SettingsStore& settings);

}  // namespace tidewell
