#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/socks5.h"
#include "platform/message_loop.h"
#include "platform/winsock_types.h"

namespace tidewell {

class SocketManager;

// "Connect to host:port": looks the name up (AAAA and A records together),
// then races connections to its addresses the Happy Eyeballs way: IPv6
// first, the families taking turns, the next address started when the one
// before has had `attemptDelayMs` (250 ms) on the loop's clock or has
// failed; the first connection that completes wins and every other attempt
// is closed. A literal address (dotted, or IPv6 with or without brackets) is
// tried alone, without a look-up.
//
// The outcome is handed to `done` from the loop, never from within Start:
// on success the connected handle, whose events are stopped and which the
// receiver now owns (a StreamSocket takes it with AdoptConnected). Cancel,
// or destruction, closes every attempt and drops a look-up in flight.
class HostConnector {
 public:
  struct Outcome {
    int error = 0;              // 0: connected; else a Winsock code
    bool lookupFailed = false;  // the name has no address (error from the look-up)
    SocketHandle handle = kInvalidSocket;
    int family = 0;                       // kAfInet or kAfInet6
    std::array<std::uint8_t, 28> peer{};  // the address that answered (16 or 28 bytes)
    std::string peerText;                 // "[::1]:119", "127.0.0.1:119" (the proxy's, through one)
    std::string proxyProblem;             // why the proxy refused (error 10061 then)
  };
  using Done = std::function<void(Outcome)>;

  static constexpr std::int64_t kAttemptDelayMs = 250;

  explicit HostConnector(SocketManager& manager, std::int64_t attemptDelayMs = kAttemptDelayMs);
  ~HostConnector();
  HostConnector(const HostConnector&) = delete;
  HostConnector& operator=(const HostConnector&) = delete;
  HostConnector(HostConnector&&) = delete;
  HostConnector& operator=(HostConnector&&) = delete;

  // `host` as parseHostAddress reads it (a port in it is not used here);
  // `port` in host byte order; `family` kAfUnspec (any), kAfInet or
  // kAfInet6. Cancels a connection under way. 0, or -1 with a Winsock code
  // in lastError() when nothing could be started (no outcome follows then).
  int Start(std::string_view host, std::uint16_t port, int family, Done done);
  // Through a SOCKS5 proxy: the race reaches the proxy, which is then asked
  // for host:port by name (the proxy resolves it). A refusal is error 10061
  // with the proxy's reason in proxyProblem.
  int StartThroughProxy(const ProxyAddress& proxy, std::string_view host, std::uint16_t port, int family, Done done);
  // The same race over addresses already known (16 bytes each, IPv4 as
  // IPv4-mapped), in the order a look-up would give them.
  int StartWithAddresses(const std::vector<std::array<std::uint8_t, 16>>& addresses, std::uint16_t port, int family,
                         Done done);
  void Cancel();
  [[nodiscard]] bool busy() const { return done_ != nullptr; }
  [[nodiscard]] int lastError() const { return lastError_; }
  // Attempts started for the present connection, in order (for tests and
  // the log): the address text of each.
  [[nodiscard]] const std::vector<std::string>& attempts() const { return attemptTexts_; }

 private:
  struct Candidate {
    int family = 0;
    std::array<std::uint8_t, 28> address{};
  };
  struct Attempt {
    SocketHandle handle = kInvalidSocket;
    std::size_t candidate = 0;
  };

  void handle(const Message& message);
  void lookedUp(std::intptr_t lParam);
  // Orders the addresses: IPv6 first, then the families taking turns.
  void setCandidates(const std::vector<std::array<std::uint8_t, 16>>& addresses);
  void startNext();
  void attemptEvent(SocketHandle s, int error);
  void closeAttempts(SocketHandle keep);
  void finish(Outcome outcome);
  void deliver(Outcome outcome);

  SocketManager& manager_;
  MessageLoop& loop_;
  std::int64_t attemptDelayMs_;
  TargetHandle target_ = kNoTarget;
  Done done_;
  int lastError_ = 0;
  int family_ = 0;
  std::uint16_t port_ = 0;
  AsyncHandle lookup_ = kNoRequest;
  alignas(HostEntry) char record_[kMaxGetHostStruct] = {};
  std::optional<ProxyAddress> proxy_;
  std::string targetHost_;
  std::uint16_t targetPort_ = 0;
  Socks5Handshake handshake_;
  SocketHandle proxySocket_ = kInvalidSocket;  // connected to the proxy, in its handshake
  std::vector<Candidate> candidates_;
  std::size_t next_ = 0;
  std::vector<Attempt> attempts_;
  std::vector<std::string> attemptTexts_;
  int lastAttemptError_ = 0;
};

}  // namespace tidewell
