#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "net/stream_socket.h"
#include "net/tls_channel.h"

namespace tidewell {

// The connection the session talks through: the plain socket, or the TLS
// channel over it once one is started. Both follow the plain socket's
// rules (0 or -1 with lastError; would-block is success with fewer bytes),
// so the dialogue and the article stream do not care which it is.
class SessionTransport {
 public:
  explicit SessionTransport(StreamSocket& socket) : socket_(socket) {}

  int Receive(char* buffer, int& size) { return tls_ ? tls_->Receive(buffer, size) : socket_.Receive(buffer, size); }
  int Send(const char* data, int& size) { return tls_ ? tls_->Send(data, size) : socket_.Send(data, size); }
  [[nodiscard]] long ReadableBytes() { return tls_ ? tls_->ReadableBytes() : socket_.ReadableBytes(); }
  [[nodiscard]] int lastError() const { return tls_ ? tls_->lastError() : socket_.lastError(); }

  // Starts TLS on the connected socket (at once for NNTPS, after the 382
  // reply for STARTTLS): 0 when under way, the outcome then arrives as
  // kTlsHandshakeMessage; -1 when nothing could start (tls()->failureText()).
  int StartTls(std::string_view hostName, const TlsSettings& settings) {
    tls_ = std::make_unique<TlsChannel>(socket_);
    return tls_->StartClient(hostName, settings);
  }
  // True once a TLS handshake has succeeded on this connection.
  [[nodiscard]] bool secure() const { return tls_ && tls_->established(); }
  // Why TLS failed, as the texts name it ("The server's certificate ...").
  [[nodiscard]] std::string tlsFailureText() const {
    return tls_ && !tls_->failureText().empty() ? tls_->failureText() : std::string("The TLS handshake failed.");
  }
  // The connection broke during the handshake: trying again may help, unlike
  // a certificate that fails its check.
  [[nodiscard]] bool tlsConnectionLost() const { return tls_ && tls_->failure() == TlsFailure::kConnectionLost; }

  // The socket itself, for connecting and for plain-only shortcuts.
  [[nodiscard]] StreamSocket& socket() { return socket_; }
  // The TLS channel, or nothing while the connection is plain.
  [[nodiscard]] TlsChannel* tls() { return tls_.get(); }

  // Ends the connection in order: close_notify when secure, then the
  // socket's shutdown.
  void Shutdown(int how) {
    if (tls_) {
      (void)tls_->Shutdown();
    }
    (void)socket_.Shutdown(how);
  }
  // Drops the channel (giving the socket's events back) and closes the
  // socket; the next connection starts plain.
  void Close() {
    tls_.reset();
    (void)socket_.Close();
  }

 private:
  StreamSocket& socket_;
  std::unique_ptr<TlsChannel> tls_;
};

}  // namespace tidewell
