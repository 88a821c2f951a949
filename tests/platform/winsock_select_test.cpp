#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "net/loopback.h"
#include "platform/winsock.h"
#include "support/loop_runner.h"

namespace tidewell {
namespace {

using test::LoopbackListener;
using test::LoopRunner;
using test::Recorder;

constexpr std::uint32_t kEvent = 1325;
constexpr long kConnected = kFdRead | kFdWrite | kFdOob | kFdConnect | kFdClose;

class WinsockSelect : public ::testing::Test {
 protected:
  void SetUp() override {
    WsaData data;
    ASSERT_EQ(winsock.startup(0x0101, data), 0);
  }

  // A socket asking for `events`, with a connect to `port` under way.
  SocketHandle connectTo(std::uint16_t port, long events = kConnected) {
    const SocketHandle s = winsock.socket(kAfInet, kSockStream, 0);
    EXPECT_NE(s, kInvalidSocket);
    EXPECT_EQ(winsock.asyncSelect(s, events_.target(), kEvent, events), 0);
    const sockaddr_in address = test::loopbackAddress(port);
    EXPECT_EQ(winsock.connect(s, &address, sizeof address), kSocketError);
    EXPECT_EQ(winsock.lastError(), kWsaEWouldBlock);
    return s;
  }

  // A connected pair: ours (connect and first write announced) and the peer.
  SocketHandle connectedPair(int& peer) {
    const SocketHandle s = connectTo(listener_.port());
    peer = listener_.accept();
    EXPECT_GE(peer, 0);
    EXPECT_TRUE(waitForEvent(kFdWrite));
    return s;
  }

  bool waitForEvent(int event, int count = 1) {
    return run.waitFor([&] { return events_.count(event) >= count; });
  }

  // Runs the loop for `ms` of real time and returns how often it woke.
  std::uint64_t wakeupsDuring(int ms) {
    const std::uint64_t before = run.loop.wakeups();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
      run.loop.runOnce(static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count()) + 1);
    }
    return run.loop.wakeups() - before;
  }

  LoopRunner run;
  Winsock winsock{run.loop};
  Recorder events_{run.loop};
  LoopbackListener listener_;
};

TEST_F(WinsockSelect, ConnectUnderWayReportsWouldBlockThenConnectAndWrite) {
  const SocketHandle s = connectTo(listener_.port());
  ASSERT_TRUE(waitForEvent(kFdWrite));
  ASSERT_EQ(events_.seen.size(), 2U);
  EXPECT_EQ(events_.seen[0].id, kEvent);
  EXPECT_EQ(events_.seen[0].wParam, static_cast<std::uintptr_t>(s));
  EXPECT_EQ(events_.seen[0].event, kFdConnect);
  EXPECT_EQ(events_.seen[0].error, 0);
  EXPECT_EQ(events_.seen[1].event, kFdWrite);
  EXPECT_GT(s, 2) << "sockets never take the standard descriptors";
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, RefusedConnectCarriesTheErrorAndNothingElse) {
  const SocketHandle s = connectTo(test::refusedPort());
  ASSERT_TRUE(waitForEvent(kFdConnect));
  EXPECT_EQ(events_.last(kFdConnect)->error, kWsaEConnRefused);
  run.settle();
  EXPECT_EQ(events_.seen.size(), 1U) << "no write or close for a connection that never was";
  EXPECT_LE(wakeupsDuring(100), 3U);
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, ReadIsAnnouncedOnceUntilTheNextReceive) {
  int peer = -1;
  const SocketHandle s = connectedPair(peer);
  ASSERT_TRUE(test::writeAll(peer, "abc"));
  ASSERT_TRUE(waitForEvent(kFdRead));
  // Loopback delivers at once: more data now waits, but read stays announced.
  ASSERT_TRUE(test::writeAll(peer, "def"));
  run.settle();
  EXPECT_EQ(events_.count(kFdRead), 1);

  char buffer[16];
  ASSERT_EQ(winsock.recv(s, buffer, 4, 0), 4);
  run.settle();
  EXPECT_EQ(events_.count(kFdRead), 2) << "data remains after the receive";
  ASSERT_EQ(winsock.recv(s, buffer, sizeof buffer, 0), 2);
  run.settle();
  EXPECT_EQ(events_.count(kFdRead), 2) << "nothing left to read";
  EXPECT_EQ(winsock.recv(s, buffer, sizeof buffer, 0), kSocketError);
  EXPECT_EQ(winsock.lastError(), kWsaEWouldBlock);

  ASSERT_TRUE(test::writeAll(peer, "g"));
  EXPECT_TRUE(waitForEvent(kFdRead, 3)) << "new data after a receive is announced";
  ::close(peer);
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, WriteIsAnnouncedAgainOnlyAfterASendThatWouldBlock) {
  int peer = -1;
  const SocketHandle s = connectedPair(peer);
  const int small = 4096;
  ASSERT_EQ(winsock.setSockOpt(s, kSolSocket, kSoSndBuf, &small, sizeof small), 0);
  ASSERT_EQ(winsock.send(s, "x", 1, 0), 1);
  run.settle();
  EXPECT_EQ(events_.count(kFdWrite), 1) << "a send that went through does not re-arm write";

  const std::string block(16384, 'y');
  std::size_t sent = 1;
  for (int i = 0; i < 1000; ++i) {
    const int n = winsock.send(s, block.data(), static_cast<int>(block.size()), 0);
    if (n == kSocketError) {
      ASSERT_EQ(winsock.lastError(), kWsaEWouldBlock);
      break;
    }
    sent += static_cast<std::size_t>(n);
  }
  run.settle();
  EXPECT_EQ(events_.count(kFdWrite), 1) << "no room yet";

  std::vector<char> drain(65536);
  std::size_t received = 0;
  while (received < sent) {
    const ssize_t n = ::recv(peer, drain.data(), drain.size(), 0);
    ASSERT_GT(n, 0);
    received += static_cast<std::size_t>(n);
  }
  EXPECT_TRUE(waitForEvent(kFdWrite, 2));
  ::close(peer);
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, OrderlyCloseCarriesZeroAndIsNoRead) {
  int peer = -1;
  const SocketHandle s = connectedPair(peer);
  ::close(peer);
  ASSERT_TRUE(waitForEvent(kFdClose));
  EXPECT_EQ(events_.last(kFdClose)->error, 0);
  EXPECT_EQ(events_.count(kFdRead), 0);
  char buffer[8];
  EXPECT_EQ(winsock.recv(s, buffer, sizeof buffer, 0), 0);
  run.settle();
  EXPECT_EQ(events_.count(kFdRead), 0) << "the end of the stream is not announced as a read";
  EXPECT_EQ(events_.count(kFdClose), 1);
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, ResetCarriesConnectionReset) {
  int peer = -1;
  const SocketHandle s = connectedPair(peer);
  test::closeWithReset(peer);
  ASSERT_TRUE(waitForEvent(kFdClose));
  EXPECT_EQ(events_.last(kFdClose)->error, kWsaEConnReset);
  EXPECT_EQ(winsock.send(s, "x", 1, 0), kSocketError) << "no SIGPIPE, an error";
  run.settle();
  EXPECT_EQ(events_.count(kFdClose), 1);
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, LoopSleepsWhileReceivedDataWaitsUnread) {
  int peer = -1;
  const SocketHandle s = connectedPair(peer);
  ASSERT_TRUE(test::writeAll(peer, "200 news server ready\r\n"));
  ASSERT_TRUE(waitForEvent(kFdRead));
  const std::uint64_t whileUnread = wakeupsDuring(1000);
  EXPECT_LE(whileUnread, 5U);
  EXPECT_EQ(events_.count(kFdRead), 1);

  test::closeWithReset(peer);
  ASSERT_TRUE(waitForEvent(kFdClose));
  const std::uint64_t afterReset = wakeupsDuring(300);
  EXPECT_LE(afterReset, 3U) << "a dead connection with nothing to announce leaves epoll";
  RecordProperty("wakeupsWhileUnread", static_cast<int>(whileUnread));
  std::printf("loop wake-ups: %llu in 1 s with data unread, %llu in 0.3 s after a reset\n",
              static_cast<unsigned long long>(whileUnread), static_cast<unsigned long long>(afterReset));
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, NewRequestReplacesTheOldAndAnEmptyMaskStops) {
  int peer = -1;
  const SocketHandle s = connectedPair(peer);
  ASSERT_EQ(winsock.asyncSelect(s, events_.target(), kEvent, 0), 0);
  ASSERT_TRUE(test::writeAll(peer, "data"));
  run.settle();
  EXPECT_EQ(events_.count(kFdRead), 0);

  Recorder other(run.loop);
  ASSERT_EQ(winsock.asyncSelect(s, other.target(), 2000, kFdRead), 0);
  ASSERT_TRUE(run.waitFor([&] { return other.count(kFdRead) == 1; })) << "data already waiting is announced";
  EXPECT_EQ(other.seen[0].id, 2000U);
  EXPECT_EQ(other.count(kFdWrite), 0);
  EXPECT_EQ(events_.count(kFdRead), 0);

  EXPECT_EQ(winsock.asyncSelect(s, 99999, kEvent, kFdRead), kSocketError);
  EXPECT_EQ(winsock.lastError(), kWsaEInval);
  EXPECT_EQ(winsock.asyncSelect(12345, other.target(), kEvent, kFdRead), kSocketError);
  EXPECT_EQ(winsock.lastError(), kWsaENotSock);
  ::close(peer);
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, EventsQueuedForASocketClosedSinceAreDropped) {
  SocketHandle s = kInvalidSocket;
  std::vector<int> seen;
  const TargetHandle closer = run.loop.createTarget([&](const Message& m) {
    seen.push_back(selectEventOf(m.lParam));
    if (selectEventOf(m.lParam) == kFdConnect) {
      winsock.closeSocket(s);  // the write event is already queued behind this one
    }
  });
  s = winsock.socket(kAfInet, kSockStream, 0);
  ASSERT_EQ(winsock.asyncSelect(s, closer, kEvent, kConnected), 0);
  const sockaddr_in address = listener_.address();
  winsock.connect(s, &address, sizeof address);
  ASSERT_TRUE(run.waitFor([&] { return !seen.empty(); }));
  run.settle();
  EXPECT_EQ(seen, std::vector<int>{kFdConnect});
  run.loop.destroyTarget(closer);
}

TEST_F(WinsockSelect, AcceptIsAnnouncedAndTheNewSocketTakesOverTheRequest) {
  const SocketHandle server = winsock.socket(kAfInet, kSockStream, 0);
  sockaddr_in address = test::loopbackAddress(0);
  ASSERT_EQ(winsock.bind(server, &address, sizeof address), 0);
  int length = sizeof address;
  ASSERT_EQ(winsock.getSockName(server, &address, &length), 0);
  ASSERT_EQ(winsock.listen(server, 4), 0);
  ASSERT_EQ(winsock.asyncSelect(server, events_.target(), kEvent, kFdAccept | kFdRead | kFdWrite | kFdClose), 0);

  const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_TRUE(waitForEvent(kFdAccept));
  EXPECT_EQ(events_.seen[0].wParam, static_cast<std::uintptr_t>(server));

  sockaddr_in peer{};
  int peerLength = sizeof peer;
  const SocketHandle accepted = winsock.accept(server, &peer, &peerLength);
  ASSERT_NE(accepted, kInvalidSocket);
  EXPECT_EQ(peer.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  ASSERT_TRUE(waitForEvent(kFdWrite));
  EXPECT_EQ(events_.last(kFdWrite)->wParam, static_cast<std::uintptr_t>(accepted));
  ASSERT_TRUE(test::writeAll(client, "hello"));
  ASSERT_TRUE(waitForEvent(kFdRead));
  EXPECT_EQ(events_.last(kFdRead)->wParam, static_cast<std::uintptr_t>(accepted));
  ::close(client);
  ASSERT_TRUE(waitForEvent(kFdClose));
  EXPECT_EQ(events_.count(kFdAccept), 1);
  winsock.closeSocket(accepted);
  winsock.closeSocket(server);
}

TEST_F(WinsockSelect, UrgentDataIsAnnouncedUntilItIsReceived) {
  int peer = -1;
  const SocketHandle s = connectedPair(peer);
  ASSERT_EQ(::send(peer, "!", 1, MSG_OOB), 1);
  ASSERT_TRUE(waitForEvent(kFdOob));
  run.settle();
  EXPECT_EQ(events_.count(kFdOob), 1);
  char urgent = 0;
  EXPECT_EQ(winsock.recv(s, &urgent, 1, kMsgOob), 1);
  EXPECT_EQ(urgent, '!');
  ::close(peer);
  winsock.closeSocket(s);
}

TEST_F(WinsockSelect, DatagramReadIsAnnouncedOnceUntilTheNextReceive) {
  const SocketHandle s = winsock.socket(kAfInet, kSockDgram, 0);
  sockaddr_in address = test::loopbackAddress(0);
  ASSERT_EQ(winsock.bind(s, &address, sizeof address), 0);
  int length = sizeof address;
  ASSERT_EQ(winsock.getSockName(s, &address, &length), 0);
  ASSERT_EQ(winsock.asyncSelect(s, events_.target(), kEvent, kFdRead), 0);
  const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::sendto(sender, "one", 3, 0, reinterpret_cast<sockaddr*>(&address), sizeof address), 3);
  ASSERT_EQ(::sendto(sender, "two", 3, 0, reinterpret_cast<sockaddr*>(&address), sizeof address), 3);
  ASSERT_TRUE(waitForEvent(kFdRead));
  run.settle();
  EXPECT_EQ(events_.count(kFdRead), 1);
  char buffer[8];
  sockaddr_in from{};
  int fromLength = sizeof from;
  EXPECT_EQ(winsock.recvFrom(s, buffer, sizeof buffer, 0, &from, &fromLength), 3);
  EXPECT_TRUE(waitForEvent(kFdRead, 2));
  ::close(sender);
  winsock.closeSocket(s);
}

TEST(WinsockService, StartupNegotiatesAndDescribesItself) {
  LoopRunner run;
  Winsock winsock(run.loop);
  EXPECT_EQ(winsock.socket(kAfInet, kSockStream, 0), kInvalidSocket);
  EXPECT_EQ(winsock.lastError(), kWsaNotInitialised);
  EXPECT_EQ(winsock.cleanup(), kSocketError);

  WsaData data;
  EXPECT_EQ(winsock.startup(0x0000, data), kWsaVerNotSupported);
  ASSERT_EQ(winsock.startup(0x0202, data), 0);
  EXPECT_EQ(data.version, 0x0101);
  EXPECT_EQ(data.highVersion, 0x0101);
  EXPECT_EQ(std::string(data.description).rfind("Tidewell sockets 1.1 on Linux ", 0), 0U) << data.description;
  EXPECT_NE(std::string(data.description).find("(Berkeley sockets, epoll)"), std::string::npos);
  EXPECT_STREQ(data.systemStatus, "Running");
  ASSERT_EQ(winsock.startup(0x0001, data), 0);
  EXPECT_EQ(data.version, 0x0001) << "1.0 is granted as asked";

  EXPECT_EQ(winsock.cleanup(), 0);
  EXPECT_TRUE(winsock.started());
  EXPECT_EQ(winsock.cleanup(), 0);
  EXPECT_FALSE(winsock.started());
}

}  // namespace
}  // namespace tidewell
