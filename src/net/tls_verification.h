#pragma once

// What the TLS client trusts, kept apart from the channel that moves the
// bytes: the client context made from the settings, the name the server's
// certificate must hold, and the verdict on the certificate it sent.

#include <openssl/bio.h>
#include <openssl/types.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/tls_channel.h"

namespace tidewell {

struct SslDeleter {
  void operator()(SSL* ssl) const;
  void operator()(SSL_CTX* context) const;
  void operator()(BIO_METHOD* method) const;
};

// A client context: TLS 1.2 or later, no renegotiation, partial writes, and
// with `settings.verify` peer verification against the system store and the
// CA file. Nothing when OpenSSL cannot make one.
[[nodiscard]] std::unique_ptr<SSL_CTX, SslDeleter> makeClientContext(const TlsSettings& settings);

// Sets the name or dotted address the certificate must hold (when
// verifying; no partial wildcards) and sends a name as the server name.
void expectPeer(SSL* ssl, const std::string& host, bool verify);

struct TlsVerdict {
  TlsFailure failure = TlsFailure::kNone;
  std::string text;  // for the panel and the report
};

// After a handshake that succeeded: records the certificate's SHA-256
// fingerprint ("AB:CD:...") and refuses a missing certificate or one that
// is not the pinned one.
[[nodiscard]] TlsVerdict checkPeerCertificate(SSL* ssl, const std::optional<std::array<std::uint8_t, 32>>& pin,
                                              std::string& fingerprint);

// After a handshake that failed: why verification refused the certificate,
// or kNone when verification was not the cause.
[[nodiscard]] TlsVerdict verificationFailure(SSL* ssl, const std::string& host);

// The text of OpenSSL's last error, e.g. "wrong version number".
[[nodiscard]] std::string openSslReason();

}  // namespace tidewell
