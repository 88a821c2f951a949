#pragma once

#include <memory>

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
