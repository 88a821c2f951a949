#include "net/socket_window.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "net/loopback.h"
#include "net/socket_manager.h"
#include "net/stream_socket.h"
#include "support/loop_runner.h"

namespace tidewell {
namespace {

using test::LoopRunner;
using test::Recorder;

// Records which of its event operations the window called.
class RecordingSocket : public StreamSocket {
 public:
  using StreamSocket::StreamSocket;
  int OnRead(SocketHandle s, int error) override { return note(kFdRead, error, StreamSocket::OnRead(s, error)); }
  int OnWrite(SocketHandle s, int error) override { return note(kFdWrite, error, StreamSocket::OnWrite(s, error)); }
  int OnOutOfBand(SocketHandle s, int error) override {
    return note(kFdOob, error, StreamSocket::OnOutOfBand(s, error));
  }
  int OnAccept(SocketHandle s, int error) override { return note(kFdAccept, error, StreamSocket::OnAccept(s, error)); }
  int OnConnect(SocketHandle s, int error) override {
    return note(kFdConnect, error, StreamSocket::OnConnect(s, error));
  }
  int OnClose(SocketHandle s, int error) override { return note(kFdClose, error, StreamSocket::OnClose(s, error)); }

  std::vector<std::pair<int, int>> calls;  // event, error
  std::vector<int> results;

 private:
  int note(int event, int error, int result) {
    calls.emplace_back(event, error);
    results.push_back(result);
    return result;
  }
};

class SocketWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(socket.Create(), 0); }

  int deliver(int event, int error = 0, SocketHandle to = kInvalidSocket) {
    const SocketHandle handle = to == kInvalidSocket ? socket.handle() : to;
    return socket.window().HandleSocketEvent(static_cast<std::uintptr_t>(handle), makeSelectReply(event, error));
  }

  LoopRunner run;
  SocketManager sockets{run.loop, 1, 1, 1};
  Recorder dialog{run.loop};
  RecordingSocket socket{sockets, InternetEndpoint(), 2, 1, 0};
};

TEST_F(SocketWindowTest, EventOfAnotherSocketIsIgnored) {
  socket.SetNotifyWindow(dialog.target());
  EXPECT_EQ(deliver(kFdRead, 0, socket.handle() + 1), 0);
  socket.SetNotifyWindow(kNoTarget);
  EXPECT_EQ(deliver(kFdRead, 0, socket.handle() + 1), 0);
  EXPECT_TRUE(dialog.seen.empty());
  EXPECT_TRUE(socket.calls.empty());
}

TEST_F(SocketWindowTest, ForwardMaskChoosesWhatGoesToTheNotifyWindow) {
  socket.SetNotifyWindow(dialog.target());
  socket.SetForwardMask(3);
  EXPECT_EQ(deliver(kFdRead), 1);
  ASSERT_EQ(dialog.seen.size(), 1U) << "forwarded at once, not queued";
  EXPECT_EQ(dialog.seen[0].id, kSocketEventMessage);
  EXPECT_EQ(dialog.seen[0].wParam, static_cast<std::uintptr_t>(socket.handle()));
  EXPECT_EQ(dialog.seen[0].event, kFdRead);
  EXPECT_TRUE(socket.calls.empty());

  EXPECT_EQ(deliver(kFdOob), 1);
  EXPECT_EQ(dialog.seen.size(), 1U);
  ASSERT_EQ(socket.calls.size(), 1U);
  EXPECT_EQ(socket.calls[0].first, kFdOob) << "not in the forward mask: the socket's own operation";
}

TEST_F(SocketWindowTest, WithoutNotifyWindowEveryEventGoesToTheSocket) {
  EXPECT_EQ(socket.window().forwardMask(), 63);
  for (const int event : {1, 2, 4, 8, 16, 32}) {
    EXPECT_EQ(deliver(event), 1);
  }
  const std::vector<std::pair<int, int>> expected{{1, 0}, {2, 0}, {4, 0}, {8, 0}, {16, 0}, {32, 0}};
  EXPECT_EQ(socket.calls, expected);
  EXPECT_EQ(socket.connectionState(), StreamSocket::kConnected);
  EXPECT_EQ(deliver(64), 1) << "an unknown event is handled by doing nothing";
  EXPECT_EQ(deliver(0), 1);
  EXPECT_EQ(socket.calls.size(), 6U);
}

TEST_F(SocketWindowTest, ConnectEventCarriesItsErrorToOnConnect) {
  const std::intptr_t lParam = 16 + 65536 * 10061;
  EXPECT_EQ(socket.window().HandleSocketEvent(static_cast<std::uintptr_t>(socket.handle()), lParam), 1);
  ASSERT_EQ(socket.calls.size(), 1U);
  EXPECT_EQ(socket.calls[0], std::make_pair(16, 10061));
  EXPECT_EQ(socket.results[0], -1);
  EXPECT_EQ(socket.lastError(), 10061);
  EXPECT_EQ(socket.connectionState(), StreamSocket::kNotConnected);

  EXPECT_EQ(deliver(kFdRead, 0), 1);
  EXPECT_EQ(socket.results[1], 0) << "no error, nothing recorded";
  EXPECT_EQ(deliver(kFdClose, 10054), 1);
  EXPECT_EQ(socket.results[2], -1);
  EXPECT_EQ(socket.lastError(), 10054);
}

TEST_F(SocketWindowTest, NotifyWindowThatIsGoneTakesNothing) {
  {
    Recorder gone(run.loop);
    socket.SetNotifyWindow(gone.target());
  }
  EXPECT_EQ(deliver(kFdRead), 0);
  EXPECT_TRUE(socket.calls.empty());
}

TEST_F(SocketWindowTest, EventsArriveThroughTheLoopAsMessages) {
  socket.SetNotifyWindow(dialog.target());
  run.loop.post(socket.window().target(), kSocketEventMessage, static_cast<std::uintptr_t>(socket.handle()),
                makeSelectReply(kFdWrite, 0));
  run.loop.post(socket.window().target(), 1400, static_cast<std::uintptr_t>(socket.handle()),
                makeSelectReply(kFdWrite, 0));
  run.settle();
  ASSERT_EQ(dialog.seen.size(), 1U) << "the window handles only its own message";
  EXPECT_EQ(dialog.seen[0].event, kFdWrite);
}

TEST_F(SocketWindowTest, FailedRequestIsCopiedIntoTheSocket) {
  EXPECT_EQ(socket.SelectEvents(55), 0);
  EXPECT_EQ(socket.window().selectMask(), 55);
  ASSERT_EQ(socket.Close(), 0);
  EXPECT_EQ(socket.SelectConnected(), -1);
  EXPECT_EQ(socket.window().lastError(), 10038);
  EXPECT_EQ(socket.lastError(), 10038);
}

}  // namespace
}  // namespace tidewell
