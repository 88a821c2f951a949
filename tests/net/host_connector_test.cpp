#include "net/host_connector.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/tcp.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "net/loopback.h"
#include "net/socket_manager.h"
#include "platform/host_address.h"
#include "support/loop_runner.h"

namespace tidewell {
namespace {

using Address16 = std::array<std::uint8_t, 16>;

const Address16 kIpv6Loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
const Address16 kIpv4Loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 127, 0, 0, 1};

// A listener on ::1, or on 127.0.0.1 at a given port. With `full` its
// backlog is taken by a first connection, so further connection attempts
// stay unanswered: an address that is black-holed.
class Listener {
 public:
  Listener(int family, std::uint16_t port, bool full = false) {
    fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    sockaddr_storage address = make(family, port);
    ok_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd_, full ? 0 : 8) == 0;
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                     : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    if (ok_ && full) {
      filler_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_storage peer = make(family, port_);
      ok_ = ::connect(filler_, reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
    }
  }
  ~Listener() {
    ::close(filler_);
    ::close(fd_);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  [[nodiscard]] bool ok() const { return ok_; }
  [[nodiscard]] std::uint16_t port() const { return port_; }

 private:
  static sockaddr_storage make(int family, std::uint16_t port) {
    sockaddr_storage address{};
    if (family == AF_INET6) {
      auto* in6 = reinterpret_cast<sockaddr_in6*>(&address);
      in6->sin6_family = AF_INET6;
      in6->sin6_port = htons(port);
      in6->sin6_addr = in6addr_loopback;
    } else {
      auto* in = reinterpret_cast<sockaddr_in*>(&address);
      in->sin_family = AF_INET;
      in->sin_port = htons(port);
      in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    return address;
  }
  int fd_ = -1;
  int filler_ = -1;
  bool ok_ = false;
  std::uint16_t port_ = 0;
};

int openDescriptors() {
  int count = 0;
  for (int fd = 0; fd < 1024; ++fd) {
    count += ::fcntl(fd, F_GETFD) != -1 ? 1 : 0;
  }
  return count;
}

class HostConnectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Listener(AF_INET6, 0).ok()) {
      GTEST_SKIP() << "no IPv6 loopback (::1) on this machine";
    }
  }
  HostConnector::Done keep() {
    return [this](HostConnector::Outcome o) { outcome = std::move(o); };
  }
  bool finished() {
    return run.waitFor([this] { return outcome.has_value(); });
  }
  // The winner is connected to the expected peer; the test closes it.
  void expectConnectedTo(int family, const std::string& text) {
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->error, 0);
    EXPECT_EQ(outcome->family, family);
    EXPECT_EQ(outcome->peerText, text);
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    EXPECT_EQ(::getpeername(outcome->handle, reinterpret_cast<sockaddr*>(&peer), &length), 0);
    // Articles end in a small segment that must not wait for the server's
    // delayed acknowledgement.
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    EXPECT_EQ(::getsockopt(outcome->handle, IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
    EXPECT_NE(noDelay, 0) << "TCP_NODELAY is off";
    ::close(outcome->handle);
  }

  test::LoopRunner run;
  SocketManager sockets{run.loop, 1, 1, 1};
  HostConnector connector{sockets};
  std::optional<HostConnector::Outcome> outcome;
};

TEST_F(HostConnectorTest, LiteralsAndNamesConnect) {
  Listener six(AF_INET6, 0);
  Listener four(AF_INET, 0);
  const std::string p6 = std::to_string(six.port());
  const std::string p4 = std::to_string(four.port());
  struct Case {
    std::string host;
    std::uint16_t port;
    int family;
    std::string peer;
  } cases[] = {
      {"::1", six.port(), kAfInet6, "[::1]:" + p6},
      {"[::1]", six.port(), kAfInet6, "[::1]:" + p6},
      {"0:0:0:0:0:0:0:1", six.port(), kAfInet6, "[::1]:" + p6},
      {"127.0.0.1", four.port(), kAfInet, "127.0.0.1:" + p4},
      // A name: looked up with both families, answered by the IPv4 record.
      {"localhost", four.port(), kAfInet, "127.0.0.1:" + p4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    outcome.reset();
    ASSERT_EQ(connector.Start(c.host, c.port, kAfUnspec, keep()), 0);
    EXPECT_FALSE(outcome) << "never from within Start";
    ASSERT_TRUE(finished());
    expectConnectedTo(c.family, c.peer);
  }
  // A literal of the other family than AddressFamily asks for is refused.
  EXPECT_EQ(connector.Start("::1", six.port(), kAfInet, keep()), -1);
  EXPECT_EQ(connector.lastError(), kWsaEAfNoSupport);
  EXPECT_EQ(connector.Start("[::1", six.port(), kAfUnspec, keep()), -1);
  EXPECT_EQ(connector.lastError(), kWsaEInval);
}

TEST_F(HostConnectorTest, Ipv6FirstThenIpv4After250MsOnTheLoopClock) {
  Listener blackHole(AF_INET6, 0, true);
  Listener four(AF_INET, blackHole.port());
  if (!blackHole.ok() || !four.ok()) {
    GTEST_SKIP() << "could not take one port on both loopbacks";
  }
  const int before = openDescriptors();
  // The look-up's order: IPv4 first; the race still starts with IPv6.
  ASSERT_EQ(connector.StartWithAddresses({kIpv4Loopback, kIpv6Loopback}, four.port(), kAfUnspec, keep()), 0);
  run.settle();
  ASSERT_EQ(connector.attempts().size(), 1U);
  EXPECT_EQ(connector.attempts()[0], "[::1]:" + std::to_string(four.port()));
  // The IPv6 attempt stays unanswered; without the clock moving nothing else starts.
  EXPECT_FALSE(run.waitFor([this] { return outcome.has_value() || connector.attempts().size() > 1; }, 200));
  run.advance(249);
  EXPECT_EQ(connector.attempts().size(), 1U);
  run.advance(1);
  ASSERT_EQ(connector.attempts().size(), 2U);
  ASSERT_TRUE(finished());
  expectConnectedTo(kAfInet, "127.0.0.1:" + std::to_string(four.port()));
  EXPECT_EQ(openDescriptors(), before) << "the IPv6 attempt that lost is closed";
  EXPECT_FALSE(connector.busy());
  EXPECT_FALSE(run.loop.nextTimerDue() != MessageLoop::kNoTimer) << "no timer left behind";
}

TEST_F(HostConnectorTest, RaceOutcomes) {
  Listener six(AF_INET6, 0);
  Listener four(AF_INET, six.port());
  const std::uint16_t nobody = test::refusedPort();
  struct Case {
    const char* name;
    std::vector<Address16> addresses;
    std::uint16_t port;
    int family;
    int error;
    std::size_t attempts;
    int winner;
  } cases[] = {
      // IPv6 answers at once: IPv4 is never tried.
      {"ipv6 wins", {kIpv4Loopback, kIpv6Loopback}, six.port(), kAfUnspec, 0, 1, kAfInet6},
      // AddressFamily=IPv4 leaves the IPv6 address out.
      {"ipv4 only", {kIpv6Loopback, kIpv4Loopback}, four.port(), kAfInet, 0, 1, kAfInet},
      // A refusal gives the next address its turn at once, without the delay.
      {"all refused", {kIpv6Loopback, kIpv4Loopback}, nobody, kAfUnspec, kWsaEConnRefused, 2, 0},
      {"no address of the family", {kIpv4Loopback}, four.port(), kAfInet6, kWsaEAfNoSupport, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.port == four.port() && !four.ok()) {
      continue;
    }
    outcome.reset();
    ASSERT_EQ(connector.StartWithAddresses(c.addresses, c.port, c.family, keep()), 0);
    ASSERT_TRUE(finished());
    EXPECT_EQ(run.clock.monotonicMs(), 0) << "no attempt waited for the clock";
    EXPECT_EQ(outcome->error, c.error);
    EXPECT_EQ(connector.attempts().size(), c.attempts);
    if (c.error == 0) {
      EXPECT_EQ(outcome->family, c.winner);
      ::close(outcome->handle);
    }
  }
}

TEST_F(HostConnectorTest, CancelClosesEveryAttempt) {
  Listener blackHole(AF_INET6, 0, true);
  const int before = openDescriptors();
  ASSERT_EQ(connector.StartWithAddresses({kIpv6Loopback, kIpv6Loopback}, blackHole.port(), kAfUnspec, keep()), 0);
  run.settle();
  run.advance(250);
  ASSERT_EQ(connector.attempts().size(), 2U);
  connector.Cancel();
  EXPECT_FALSE(connector.busy());
  EXPECT_EQ(openDescriptors(), before);
  run.advance(1000);
  EXPECT_FALSE(outcome);
}

TEST(HostAddressText, LiteralsPortsAndFaults) {
  struct Case {
    const char* text;
    const char* host;  // null: refused
    int family;
    int port;  // 0: none
    const char* fault;
  } cases[] = {
      {"news.example.com", "news.example.com", kAfUnspec, 0, ""},
      {"news.example.com:563", "news.example.com", kAfUnspec, 563, ""},
      {"192.0.2.7", "192.0.2.7", kAfInet, 0, ""},
      {"127.1", "127.1", kAfInet, 0, ""},
      {"::1", "::1", kAfInet6, 0, ""},
      {"2001:db8::1", "2001:db8::1", kAfInet6, 0, ""},
      {"[2001:db8::1]", "2001:db8::1", kAfInet6, 0, ""},
      {"[2001:db8::1]:119", "2001:db8::1", kAfInet6, 119, ""},
      {"[2001:db8::1", nullptr, 0, 0, "has no closing bracket"},
      {"[2001:db8::1]119", nullptr, 0, 0, "not :port"},
      {"[news.example.com]", nullptr, 0, 0, "not a valid IPv6 address"},
      {"2001:db8::zz", nullptr, 0, 0, "not a valid IPv6 address"},
      {"2001:db8::1:119", "2001:db8::1:119", kAfInet6, 0, ""},  // a valid address, not a port
      {"192.0.2.300", nullptr, 0, 0, "not a valid IPv4 address"},
      {"[::1]:0", nullptr, 0, 0, "from 1 to 65535"},
      {"news:70000", nullptr, 0, 0, "from 1 to 65535"},
      {":119", nullptr, 0, 0, "no name or address"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const HostAddressResult result = parseHostAddress(c.text);
    if (c.host == nullptr) {
      EXPECT_FALSE(result.value);
      EXPECT_NE(result.problem.find(c.fault), std::string::npos) << result.problem;
      EXPECT_NE(result.problem.find(c.text), std::string::npos) << "names the value";
      continue;
    }
    ASSERT_TRUE(result.value) << result.problem;
    EXPECT_EQ(result.value->host, c.host);
    EXPECT_EQ(result.value->family, c.family);
    EXPECT_EQ(result.value->port.value_or(0), c.port);
  }
}

}  // namespace
}  // namespace tidewell
