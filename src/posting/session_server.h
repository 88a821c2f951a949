#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/tls_channel.h"
#include "posting/post_link.h"

namespace tidewell {

class SettingsStore;

// The longest Host read; the rest of a longer one is not part of the name.
inline constexpr std::size_t kHostNameLimit = 255;

// The news server a connection goes to, read from the settings once as the
// connection starts, so the same checks (planConnection) serve the posting
// server, its backups and the server Verify asks.
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

// Where and how a connection to a server goes, read from its keys and
// checked as the connection starts: a mistyped Encryption is never taken
// for a plain connection, nor a Port out of range for some other port.
struct ConnectionPlan {
  LinkSettings link;      // all but the rate cap
  std::string shownName;  // the Host as written, once it could be read
  int hostFamily = 0;     // an address's family; kAfUnspec for a name to look up
  std::string problem;    // the key that cannot work; empty: usable
};
// The server's keys with Proxy and AddressFamily. The checks go in order:
// the Host is set, Encryption, Port, the TLS keys, the Host, the Proxy.
[[nodiscard]] ConnectionPlan planConnection(const ServerChoice& server, const SettingsStore& settings);

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
