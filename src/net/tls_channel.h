#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/message_loop.h"

namespace tidewell {

class StreamSocket;

// How the server's certificate is checked (the keys TLSVerify, TLSCAFile and
// TLSPin of section Settings).
struct TlsSettings {
  // Verify the certificate against the system's store (and caFile) and the
  // host name.
  bool verify = true;
  // A PEM file of further certificate authorities to trust; empty: none.
  std::string caFile;
  // The server certificate's SHA-256 fingerprint: 64 hex digits, colons and
  // letter case ignored; empty: none. When set the certificate must match it
  // as well as pass verification; with verify off the pin alone decides.
  std::string pin;
};

// Why a TLS connection failed.
enum class TlsFailure : std::int32_t {
  kNone = 0,
  kUnusableSettings,    // a CA file that cannot be read, a malformed pin
  kExpired,             // the certificate's time is over
  kNotYetValid,         // ... or has not begun
  kWrongHost,           // the certificate is for another name
  kUnknownIssuer,       // no trusted authority signed it
  kCertificateRefused,  // any other verification failure (revoked, bad signature ...)
  kPinMismatch,         // not the certificate TLSPin names
  kHandshake,           // the handshake itself failed (not a TLS server, an alert ...)
  kConnectionLost,      // the connection closed or broke during the handshake
  kProtocol,            // a TLS failure after the handshake
};

// The end of a handshake, sent to the notify target: wParam the socket's
// handle, lParam 0 when the connection is secure, else the TlsFailure.
inline constexpr std::uint32_t kTlsHandshakeMessage = 1328;

// The 32 bytes of a pin: 64 hex digits, colons and letter case ignored
// (nothing when the text is not that).
[[nodiscard]] std::optional<std::array<std::uint8_t, 32>> ParseTlsPin(std::string_view text);
// Checks settings before a run: empty when they are usable, else the text
// naming the problem (the CA file cannot be read, the pin is malformed).
[[nodiscard]] std::string CheckTlsSettings(const TlsSettings& settings);

// A TLS client over a connected StreamSocket (OpenSSL), non-blocking and
// driven by the socket's events, with the plain socket's would-block rules:
//
//  - StartClient takes over the socket's events: the socket announces them
//    to the channel, which passes them on to the target that had them
//    before (the session), as the same message 1325 with the same handle.
//    The channel reads and writes the socket with the socket service's own
//    calls, so the events' re-enabling rules hold as for a plain socket.
//    The socket's forward mask must pass read, write and close (the
//    session's 63 does).
//  - During the handshake the channel keeps read and write events to itself;
//    its outcome arrives as kTlsHandshakeMessage (never from within
//    StartClient). After success the session may send, as after a connect.
//  - Afterwards a read event means there may be text to receive, and is
//    announced again after a receive that left decrypted text behind (the
//    socket itself has nothing more to announce then). A read event may
//    find nothing to receive (a record still incomplete, a session ticket).
//  - Send takes what it can; fewer bytes than asked (0 with 10035) means
//    the rest must wait for the next write event, as on the plain socket.
//    Records are gathered (up to 256 KiB) and sent together at the end of
//    the call; what the socket could not take, and a record OpenSSL could
//    not hand on, the channel sends by itself on the write event, which it
//    passes on only after a short Send, once there is room again.
//  - Close events pass unchanged; decrypted text may still wait: receive it.
//
// Results follow the socket's convention: 0, or -1 with lastError().
// Receive and Send report would-block as success with 0 bytes and 10035.
// The socket must outlive the channel; one channel per connection.
class TlsChannel {
 public:
  explicit TlsChannel(StreamSocket& socket);
  // Gives the socket's events back to the target they were taken from.
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;
  TlsChannel(TlsChannel&&) = delete;
  TlsChannel& operator=(TlsChannel&&) = delete;

  // Starts a client handshake on the connected socket for `hostName`, the
  // name or dotted address the user gave (checked against the certificate;
  // sent as the server name when it is a name). At once for NNTPS, after
  // the 382 reply for STARTTLS. 0: under way, the outcome comes as
  // kTlsHandshakeMessage; -1: nothing started (failure() says why).
  int StartClient(std::string_view hostName, const TlsSettings& settings);

  // The plain socket's Receive and Send over the secure connection. Receive
  // gives size 0 with lastError 0 once the server has closed.
  int Receive(char* buffer, int& size);
  int Send(const char* data, int& size);
  // Decrypted bytes ready to receive (pulling in what the socket holds).
  [[nodiscard]] long ReadableBytes();
  // Tells the server the connection ends (close_notify), without waiting
  // for its answer; the socket is then shut down as usual.
  int Shutdown();

  [[nodiscard]] bool established() const;
  [[nodiscard]] int lastError() const;
  [[nodiscard]] TlsFailure failure() const;
  // The reason of the failure for the panel and the report, e.g. "The
  // server's certificate has expired."
  [[nodiscard]] const std::string& failureText() const;
  // The server certificate's SHA-256 fingerprint ("AB:CD:..."), once seen.
  [[nodiscard]] const std::string& peerFingerprint() const;
  // The protocol and cipher once established, e.g. "TLSv1.3
  // TLS_AES_256_GCM_SHA384"; empty before.
  [[nodiscard]] std::string Description() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tidewell
