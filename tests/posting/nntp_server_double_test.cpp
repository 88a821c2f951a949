// Self-test of the scripted NNTP server double, driven by plain sockets.

#include "support/nntp_server_double.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>

#include "support/loop_runner.h"

namespace tidewell::test {
namespace {

// A blocking connect (loopback completes it in the kernel, before the server
// accepts), then non-blocking reads pumped by the loop.
class Client {
 public:
  explicit Client(const std::string& address) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(NntpServerDouble::kNntpPort);
    inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
      connectError_ = errno;
    }
    fcntl(fd_, F_SETFL, O_NONBLOCK);
  }
  ~Client() { close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  [[nodiscard]] int connectError() const { return connectError_; }
  void finishSending() const { shutdown(fd_, SHUT_WR); }
  void send(std::string_view text) const {
    ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
  }
  // One recv; appends to in(). Returns its result (0 at end of stream).
  ssize_t receiveOnce() {
    char buffer[4096];
    const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
    if (got > 0) {
      in_.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      eof_ = true;
    } else if (errno != EAGAIN) {
      error_ = errno;
    }
    return got;
  }
  // Dispatches the loop until `text` has arrived (or the stream ended).
  bool waitForText(LoopRunner& run, std::string_view text) {
    return run.waitFor([&] {
      receiveOnce();
      return in_.find(text) != std::string::npos || eof_ || error_ != 0;
    }) && in_.find(text) != std::string::npos;
  }
  bool waitForEnd(LoopRunner& run) {
    return run.waitFor([&] {
      receiveOnce();
      return eof_ || error_ != 0;
    });
  }

  std::string in_;
  bool eof_ = false;
  int error_ = 0;

 private:
  int fd_;
  int connectError_ = 0;
};

class NntpServerDoubleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server.listening()) {
      GTEST_SKIP() << "cannot listen on " << server.address() << ":119 (errno " << server.bindError()
                   << "); run as root or lower net.ipv4.ip_unprivileged_port_start";
    }
  }
  LoopRunner run;
  NntpServerDouble server{run.loop};
};

TEST_F(NntpServerDoubleTest, DefaultDialogueRecordsEveryByteAndUnstuffsTheArticle) {
  Client client(server.address());
  ASSERT_TRUE(client.waitForText(run, "\r\n"));
  EXPECT_EQ(client.in_.substr(0, 4), "200 ");

  const std::string article = "From: a@b\r\nSubject: s\r\n\r\n..hidden dot\r\nbody\r\n.\r\n";
  const std::string sent = "authinfo user tester\r\nAUTHINFO PASS secret\r\nmode reader\r\nPOST\r\n";
  client.send(sent);
  ASSERT_TRUE(client.waitForText(run, "340 "));
  client.send(article);
  ASSERT_TRUE(client.waitForText(run, "240 "));
  EXPECT_NE(client.in_.find("\r\n381 "), std::string::npos);
  EXPECT_NE(client.in_.find("\r\n281 "), std::string::npos);

  EXPECT_EQ(server.received(), sent + article);
  EXPECT_EQ(server.commands(),
            (std::vector<std::string>{"authinfo user tester", "AUTHINFO PASS secret", "mode reader", "POST"}));
  ASSERT_EQ(server.articles().size(), 1U);
  EXPECT_EQ(server.articles()[0], "From: a@b\r\nSubject: s\r\n\r\n.hidden dot\r\nbody\r\n");
  EXPECT_EQ(server.connectionCount(), 1U);
}

TEST_F(NntpServerDoubleTest, RulesMatchPrefixIgnoringCaseAndFallThroughWhenUsedUp) {
  server.onCommand("AUTHINFO PASS", Response::reply("481 Authentication failed"), 1);
  server.onCommand("post", Response::reply("440 posting not allowed"), 1);
  Client client(server.address());
  client.send("authinfo pass wrong\r\nauthinfo pass secret\r\npost\r\npost\r\n");
  ASSERT_TRUE(client.waitForText(run, "340 "));
  EXPECT_NE(client.in_.find("481 Authentication failed\r\n281 "), std::string::npos);
  EXPECT_NE(client.in_.find("440 posting not allowed\r\n340 "), std::string::npos);
}

TEST_F(NntpServerDoubleTest, ArticleAnswersFollowTheScriptThenStaySilent) {
  server.onArticle(Response::reply("441 437 Too big"), 1);
  server.onArticle(Response::reply("240 ok"), 1);
  server.onArticle(Response::silence());
  Client client(server.address());
  for (int i = 0; i < 3; ++i) {
    client.send("post\r\n");
    ASSERT_TRUE(client.waitForText(run, "340 "));
    client.in_.clear();
    client.send("Subject: " + std::to_string(i) + "\r\n\r\nline\r\n.\r\n");
    if (i < 2) {
      EXPECT_TRUE(client.waitForText(run, i == 0 ? "441 437 Too big\r\n" : "240 ok\r\n"));
    }
  }
  // The third article gets no answer: the next command's reply comes first.
  client.send("mode reader\r\n");
  ASSERT_TRUE(client.waitForText(run, "200 "));
  EXPECT_EQ(client.in_.substr(0, 4), "200 ");
  EXPECT_EQ(server.articles().size(), 3U);
}

TEST_F(NntpServerDoubleTest, PiecesAreSentApartOnTheLoopClock) {
  server.onCommand("post", Response::inPieces({"34", "0 go on\r\n"}, 1000));
  Client client(server.address());
  ASSERT_TRUE(client.waitForText(run, "\r\n"));
  client.in_.clear();
  client.send("post\r\n");
  ASSERT_TRUE(client.waitForText(run, "34"));
  run.advance(999);
  client.receiveOnce();
  EXPECT_EQ(client.in_, "34");
  run.advance(1);
  ASSERT_TRUE(client.waitForText(run, "340 go on\r\n"));
  // The split reply still opened the article.
  client.send("x\r\n.\r\n");
  EXPECT_TRUE(client.waitForText(run, "240 "));
}

TEST_F(NntpServerDoubleTest, SeveralRepliesCanShareOneWrite) {
  server.onConnect(Response::reply("200 hello\r\n340 early"));
  Client client(server.address());
  ASSERT_TRUE(run.waitFor([&] { return client.receiveOnce() > 0; }));
  EXPECT_EQ(client.in_, "200 hello\r\n340 early\r\n");
}

TEST_F(NntpServerDoubleTest, CloseResetAndRefusalAreCountedAcrossReconnections) {
  server.onConnect(Response::close("400 going away"), 1);
  server.onConnect(Response::reset(), 1);
  {
    Client first(server.address());
    ASSERT_TRUE(first.waitForEnd(run));
    EXPECT_EQ(first.in_, "400 going away\r\n");
    EXPECT_TRUE(first.eof_);
  }
  {
    Client second(server.address());
    ASSERT_TRUE(second.waitForEnd(run));
    EXPECT_EQ(second.error_, ECONNRESET);
  }
  server.refuseConnections(true);
  EXPECT_EQ(Client(server.address()).connectError(), ECONNREFUSED);
  server.refuseConnections(false);
  Client third(server.address());
  EXPECT_EQ(third.connectError(), 0);
  ASSERT_TRUE(third.waitForText(run, "200 "));
  EXPECT_EQ(server.connectionCount(), 3U);
  EXPECT_EQ(server.openConnections(), 1U);
  EXPECT_FALSE(server.connection(0).open);
  EXPECT_FALSE(server.connection(0).closedByClient);
}

TEST_F(NntpServerDoubleTest, ResetPartWayThroughAnArticle) {
  server.onArticleBytes(20, Response::reset());
  Client client(server.address());
  client.send("post\r\n");
  ASSERT_TRUE(client.waitForText(run, "340 "));
  client.send("Subject: cut short\r\n\r\nmore text\r\n");
  ASSERT_TRUE(client.waitForEnd(run));
  EXPECT_EQ(client.error_, ECONNRESET);
  EXPECT_TRUE(server.articles().empty());
  EXPECT_EQ(server.openConnections(), 0U);
}

TEST_F(NntpServerDoubleTest, UnsolicitedTextAndClientCloseAreSeen) {
  Client client(server.address());
  ASSERT_TRUE(client.waitForText(run, "\r\n"));
  server.act(Response::reply("400 shutting down"));
  ASSERT_TRUE(client.waitForText(run, "400 shutting down\r\n"));
  client.send("quit\r\n");
  ASSERT_TRUE(client.waitForEnd(run));
  EXPECT_NE(client.in_.find("205 "), std::string::npos);

  Client other(server.address());
  ASSERT_TRUE(other.waitForText(run, "200 "));
  other.finishSending();
  ASSERT_TRUE(run.waitFor([&] { return server.openConnections() == 0; }));
  EXPECT_TRUE(server.connection(1).closedByClient);
}

TEST(NntpServerDoubleAddress, EachDoubleHasItsOwnLoopbackAddress) {
  LoopRunner run;
  std::set<std::string> seen;
  for (int i = 0; i < 3; ++i) {
    NntpServerDouble server(run.loop);
    EXPECT_NE(server.address(), "127.0.0.1");
    EXPECT_EQ(server.address().rfind("127.", 0), 0U);
    seen.insert(server.address());
  }
  EXPECT_EQ(seen.size(), 3U);
}

}  // namespace
}  // namespace tidewell::test
