#include "net/stream_socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <filesystem>
#include <memory>
#include <string>

#include "net/datagram_socket.h"
#include "net/loopback.h"
#include "net/socket_manager.h"
#include "support/loop_runner.h"

namespace tidewell {
namespace {

using test::LoopbackListener;
using test::LoopRunner;
using test::Recorder;

bool isOpen(int fd) {
  return ::fcntl(fd, F_GETFD) != -1;
}

int openDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

InternetEndpoint loopbackEndpoint(std::uint16_t port) {
  return InternetEndpoint(htons(port), "127.0.0.1");
}

class StreamSocketTest : public ::testing::Test {
 protected:
  LoopRunner run;
  SocketManager sockets{run.loop, 1, 1, 1};
  Recorder dialog{run.loop};
  LoopbackListener listener;
};

// The way the posting session drives its one socket: every event forwarded
// to the dialog, replies polled with ReadableBytes and Receive.
TEST_F(StreamSocketTest, PostingSessionCallingOrder) {
  StreamSocket socket(sockets, InternetEndpoint(), 2, 1, 0);
  socket.SetForwardMask(63);
  socket.SetNotifyWindow(dialog.target());
  ASSERT_EQ(socket.Create(), 0);
  socket.SelectConnected();
  ASSERT_EQ(socket.BindLocal(), 0);
  EXPECT_TRUE(socket.bound());
  EXPECT_EQ(socket.Connect(loopbackEndpoint(listener.port())), -1);
  EXPECT_EQ(socket.lastError(), 10035);
  EXPECT_EQ(socket.connectionState(), 0);

  const int server = listener.accept();
  ASSERT_GE(server, 0);
  ASSERT_TRUE(run.waitFor([&] { return dialog.count(kFdConnect) == 1; }));
  EXPECT_EQ(dialog.seen[0].id, kSocketEventMessage);
  EXPECT_EQ(dialog.seen[0].wParam, static_cast<std::uintptr_t>(socket.handle()));
  EXPECT_EQ(dialog.seen[0].error, 0);
  EXPECT_EQ(socket.connectionState(), 0) << "forwarded events do not reach the socket's own operations";
  bool noDelay = false;
  ASSERT_EQ(socket.GetNoDelay(noDelay), 0);
  EXPECT_TRUE(noDelay) << "a connection's last segment of an article must not wait behind Nagle";
  int raw = 0;
  socklen_t rawLength = sizeof raw;
  ::getsockopt(socket.handle(), IPPROTO_TCP, TCP_NODELAY, &raw, &rawLength);
  EXPECT_EQ(raw, 1);

  ASSERT_TRUE(test::writeAll(server, "200 news ready\r\n"));
  ASSERT_TRUE(run.waitFor([&] { return dialog.count(kFdRead) == 1; }));
  EXPECT_EQ(socket.PendingBytes(), 16);
  char reply[16384];
  int size = sizeof reply;
  EXPECT_EQ(socket.Receive(reply, size), 0);
  EXPECT_EQ(std::string(reply, static_cast<std::size_t>(size)), "200 news ready\r\n");
  size = sizeof reply;
  EXPECT_EQ(socket.Receive(reply, size), 0) << "nothing waiting: success with 0 bytes";
  EXPECT_EQ(size, 0);
  EXPECT_EQ(socket.lastError(), 10035);

  int sent = 6;
  EXPECT_EQ(socket.Send("QUIT\r\n", sent, 0), 0);
  EXPECT_EQ(sent, 6);
  const SocketHandle handle = socket.handle();
  EXPECT_EQ(socket.Shutdown(2), 0);
  EXPECT_EQ(socket.handle(), kInvalidSocket);
  EXPECT_FALSE(socket.bound());
  EXPECT_FALSE(isOpen(handle)) << "a shut-down connection does not keep its descriptor";
  EXPECT_EQ(socket.Close(), 0);

  char got[16] = {};
  EXPECT_EQ(::recv(server, got, sizeof got, MSG_WAITALL), 6);
  EXPECT_STREQ(got, "QUIT\r\n");
  ::close(server);
}

TEST_F(StreamSocketTest, OwnOperationsFollowTheConnection) {
  StreamSocket socket(sockets, InternetEndpoint(), 2, 1, 0);
  ASSERT_EQ(socket.Create(), 0);
  socket.SelectConnected();
  EXPECT_EQ(socket.Connect(loopbackEndpoint(listener.port())), -1);
  ASSERT_TRUE(run.waitFor([&] { return socket.connectionState() == StreamSocket::kConnected; }));
  const int server = listener.accept();
  test::closeWithReset(server);
  ASSERT_TRUE(run.waitFor([&] { return socket.lastError() == 10054; })) << "the reset reaches OnClose";

  char buffer[8];
  int size = sizeof buffer;
  socket.Receive(buffer, size);
  EXPECT_EQ(size, 0);

  ASSERT_EQ(socket.Create(), 0);
  socket.SelectConnected();
  EXPECT_EQ(socket.Connect(loopbackEndpoint(test::refusedPort())), -1);
  EXPECT_EQ(socket.lastError(), 10035);
  ASSERT_TRUE(run.waitFor([&] { return socket.lastError() == 10061; })) << "refusal reaches OnConnect";
  EXPECT_EQ(socket.connectionState(), StreamSocket::kNotConnected);
}

TEST_F(StreamSocketTest, ReceiveAfterThePeerClosedIsSuccessWithNothing) {
  StreamSocket socket(sockets, InternetEndpoint(), 2, 1, 0);
  ASSERT_EQ(socket.Create(), 0);
  socket.SetNotifyWindow(dialog.target());
  socket.SelectConnected();
  socket.Connect(loopbackEndpoint(listener.port()));
  ::close(listener.accept());
  ASSERT_TRUE(run.waitFor([&] { return dialog.count(kFdClose) == 1; }));
  EXPECT_EQ(dialog.last(kFdClose)->error, 0);
  char buffer[8];
  int size = sizeof buffer;
  EXPECT_EQ(socket.Receive(buffer, size), 0);
  EXPECT_EQ(size, 0);
}

TEST_F(StreamSocketTest, HandleLifecycle) {
  StreamSocket socket(sockets);
  EXPECT_EQ(socket.Close(), 0) << "no handle";
  EXPECT_EQ(socket.Shutdown(2), 0);
  EXPECT_EQ(socket.lastError(), 0);

  socket.SetKind(2, 1, 0);
  const int before = openDescriptors();
  ASSERT_EQ(socket.Create(), 0);
  ASSERT_EQ(socket.Create(), 0);
  EXPECT_EQ(openDescriptors(), before + 1) << "a second Create does not leak the first handle";
  EXPECT_EQ(socket.Shutdown(2), -1) << "not connected";
  EXPECT_EQ(socket.lastError(), 10057);
  EXPECT_NE(socket.handle(), kInvalidSocket);

  SocketHandle kept = kInvalidSocket;
  SocketHandle closed = kInvalidSocket;
  {
    StreamSocket keep(sockets, InternetEndpoint(), 2, 1, 0);
    ASSERT_EQ(keep.Create(), 0);
    keep.SetKeepOpen(true);
    kept = keep.handle();
    StreamSocket drop(sockets, InternetEndpoint(), 2, 1, 0);
    ASSERT_EQ(drop.Create(), 0);
    closed = drop.handle();
  }
  EXPECT_TRUE(isOpen(kept));
  EXPECT_FALSE(isOpen(closed));
  ::close(kept);
}

TEST_F(StreamSocketTest, FieldsAndOptions) {
  StreamSocket socket(sockets, InternetEndpoint(), 2, 1, 0);
  EXPECT_EQ(socket.bufferSize(), 8192);
  socket.SetBufferSize(0);
  socket.SetBufferSize(-5);
  EXPECT_EQ(socket.bufferSize(), 8192);
  socket.SetBufferSize(100);
  EXPECT_EQ(socket.bufferSize(), 100);
  EXPECT_EQ(socket.ProtocolNumber(nullptr), 6);
  EXPECT_EQ(socket.ProtocolNumber("tcp"), 6);
  EXPECT_EQ(socket.ProtocolNumber("udp"), 17);
  EXPECT_EQ(socket.ProtocolNumber("UDP"), 0);
  EXPECT_EQ(socket.ReadableBytes(), 0) << "no handle: 0, nothing recorded";
  EXPECT_EQ(socket.lastError(), 0);
  EXPECT_TRUE(socket.SameAs(socket));

  ASSERT_EQ(socket.Create(), 0);
  int on = 0;
  int seconds = 0;
  ASSERT_EQ(socket.SetLinger(1, 7), 0);
  ASSERT_EQ(socket.GetLinger(on, seconds), 0);
  EXPECT_EQ(on, 1);
  EXPECT_EQ(seconds, 7);
  bool allowed = true;
  ASSERT_EQ(socket.SetRouting(false), 0);
  ASSERT_EQ(socket.GetRouting(allowed), 0);
  EXPECT_FALSE(allowed);
  int dontRoute = 0;
  socklen_t length = sizeof dontRoute;
  ::getsockopt(socket.handle(), SOL_SOCKET, SO_DONTROUTE, &dontRoute, &length);
  EXPECT_EQ(dontRoute, 1) << "routing not allowed is SO_DONTROUTE set";
  bool flag = false;
  ASSERT_EQ(socket.SetKeepAlive(true), 0);
  ASSERT_EQ(socket.GetKeepAlive(flag), 0);
  EXPECT_TRUE(flag);
  ASSERT_EQ(socket.SetNoDelay(false), 0);
  ASSERT_EQ(socket.GetNoDelay(flag), 0);
  EXPECT_FALSE(flag);
  int bytes = 0;
  ASSERT_EQ(socket.SetReceiveBufferSize(8192), 0);
  ASSERT_EQ(socket.GetReceiveBufferSize(bytes), 0);
  EXPECT_GE(bytes, 8192);
  ASSERT_EQ(socket.Close(), 0);
  EXPECT_EQ(socket.SetReuseAddress(true), -1);
  EXPECT_EQ(socket.lastError(), 10038);
}

TEST_F(StreamSocketTest, ListenAcceptAndWrapAnExistingHandle) {
  StreamSocket server(sockets, InternetEndpoint(0, "127.0.0.1"), 2, 1, 0);
  ASSERT_EQ(server.Create(), 0);
  ASSERT_EQ(server.BindLocal(), 0);
  ASSERT_EQ(server.Listen(4), 0);
  EXPECT_EQ(server.connectionState(), StreamSocket::kListening);
  server.SetNotifyWindow(dialog.target());
  server.SetForwardMask(kFdAccept);
  ASSERT_EQ(server.SelectAccept(), 0);
  InternetEndpoint bound;
  int length = 16;
  ASSERT_EQ(server.LocalName(bound, length), 0);

  const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(client, static_cast<const sockaddr*>(bound.raw()), 16), 0);
  ASSERT_TRUE(run.waitFor([&] { return dialog.count(kFdAccept) == 1; }));
  StreamSocket accepted(sockets);
  ASSERT_EQ(server.Accept(accepted), 0);
  EXPECT_EQ(accepted.connectionState(), StreamSocket::kConnected);
  EXPECT_EQ(accepted.family(), 2);
  EXPECT_EQ(accepted.type(), 1);
  EXPECT_EQ(InternetEndpoint(accepted.peerAddress()).Address(), htonl(INADDR_LOOPBACK));

  const StreamSocket wrapped(sockets, client);
  EXPECT_EQ(wrapped.family(), 2);
  EXPECT_EQ(wrapped.type(), 1);
  EXPECT_EQ(wrapped.connectionState(), StreamSocket::kConnected);
  EXPECT_EQ(InternetEndpoint(wrapped.peerAddress()).Port(), bound.Port());
  EXPECT_EQ(wrapped.lastError(), 0);
}

TEST_F(StreamSocketTest, DatagramsGoBothWays) {
  DatagramSocket a(sockets, InternetEndpoint(0, "127.0.0.1"), 2, 2, 0);
  DatagramSocket b(sockets, InternetEndpoint(0, "127.0.0.1"), 2, 2, 0);
  ASSERT_EQ(a.Create(), 0);
  ASSERT_EQ(b.Create(), 0);
  ASSERT_EQ(a.BindLocal(), 0);
  ASSERT_EQ(b.BindLocal(), 0);
  InternetEndpoint bAddress;
  int length = 16;
  ASSERT_EQ(b.LocalName(bAddress, length), 0);
  b.SetNotifyWindow(dialog.target());
  ASSERT_EQ(b.SelectEvents(kFdRead), 0);

  char buffer[16];
  int size = sizeof buffer;
  EndpointAddress from;
  EXPECT_EQ(b.ReceiveFrom(buffer, size, from), 0);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(b.lastError(), 10035);

  a.SetPeerAddress(bAddress);
  size = 5;
  ASSERT_EQ(a.SendToPeer("hello", size), 0);
  EXPECT_EQ(size, 5);
  ASSERT_TRUE(run.waitFor([&] { return dialog.count(kFdRead) == 1; }));
  size = sizeof buffer;
  ASSERT_EQ(b.ReceiveFrom(buffer, size, from), 0);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(InternetEndpoint(from).Address(), htonl(INADDR_LOOPBACK));
}

}  // namespace
}  // namespace tidewell
