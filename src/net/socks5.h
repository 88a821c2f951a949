#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/host_address.h"
#include "platform/message_loop.h"
#include "platform/winsock_types.h"

namespace tidewell {

class SocketManager;

// The client's side of a SOCKS5 proxy on a connected socket: the greeting
// (no login, or user name and password when given), the login, and CONNECT
// to a host name (sent as a name: the proxy resolves it) or an address and
// port. Afterwards the socket carries the connection to the server, for
// plain NNTP or TLS alike. The outcome comes from the loop, never from
// within Start: an empty text on success, or why the proxy refused
// ("Proxy refused: connection not allowed by ruleset"). The socket stays
// the caller's; its events are stopped when the outcome is given.
class Socks5Handshake {
 public:
  using Done = std::function<void(std::string problem)>;

  explicit Socks5Handshake(SocketManager& manager);
  ~Socks5Handshake();
  Socks5Handshake(const Socks5Handshake&) = delete;
  Socks5Handshake& operator=(const Socks5Handshake&) = delete;
  Socks5Handshake(Socks5Handshake&&) = delete;
  Socks5Handshake& operator=(Socks5Handshake&&) = delete;

  // `host` a name, a dotted address or an IPv6 literal; `port` host order.
  void Start(SocketHandle proxy, const ProxyAddress& login, std::string_view host, std::uint16_t port, Done done);
  void Cancel();

 private:
  enum class Stage { Idle, Method, Login, Connect };
  void handle(std::uintptr_t wParam, std::intptr_t lParam);
  void received();
  [[nodiscard]] std::size_t needed() const;
  bool sendAll(const std::string& bytes);
  void sendConnect();
  void finish(std::string problem);

  SocketManager& manager_;
  MessageLoop& loop_;
  TargetHandle target_ = kNoTarget;
  SocketHandle socket_ = kInvalidSocket;
  Stage stage_ = Stage::Idle;
  ProxyAddress login_;
  std::string host_;
  std::uint16_t port_ = 0;
  std::string input_;
  Done done_;
};

}  // namespace tidewell
