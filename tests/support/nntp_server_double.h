#pragma once

// A scripted NNTP server on a loopback address of its own, port 119, driven
// by the test's MessageLoop: the client under test and the server share one
// thread, and everything that happens on the wire is recorded.
//
// Out of the box it behaves like a sane news server (greeting 200, "authinfo
// user" 381, "authinfo pass" 281, "mode reader" 200, "post" 340, every
// article 240), so a test scripts only the deviations:
//
//   NntpServerDouble server(run.loop);
//   server.onCommand("authinfo pass", Response::reply("481 Authentication failed"));
//   server.onArticle(Response::reply("240 ok"), 2);   // the first two articles
//   server.onArticle(Response::silence());            // then no answer at all
//
// Articles answered with a 2xx reply, or with no reply at all (the
// acknowledgement lost to a close, a reset or silence), are kept, and
// "STAT <id>" answers 223 for an article kept with that Message-ID, else 430;
// "HEAD <id>" answers 221 with the article's header block, else 430.
//
// Scripted rules are tried in the order they were added; a rule given a
// count is used that many times and then falls through to the next matching
// one, and finally to the defaults. Counts run across connections, so a rule
// can break the first connection and let the reconnection succeed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_loop.h"

namespace tidewell::test {

// What the server does in answer to something: send some text (in one or
// several writes), then keep the connection, close it or reset it.
struct Response {
  enum class Ending {
    KeepOpen,
    Close,        // orderly close (FIN) after the text
    Reset,        // abortive close (RST, SO_LINGER 0) after the text
    StopReading,  // keep the connection but read nothing more, so the
                  // client's sends block once the buffers are full
  };

  // Each piece is one write(). No pieces: nothing is sent.
  std::vector<std::string> pieces;
  // Loop time (ms) before each piece after the first, so a test can let the
  // client read the first piece alone (LoopRunner::advance fires it).
  std::int64_t pieceDelayMs = 0;
  Ending ending = Ending::KeepOpen;

  // One write of `text`, "\r\n" appended when it does not end with one.
  // Several replies in one write: reply("340 go\r\n240 done").
  static Response reply(std::string text);
  // The pieces as given (no line end added), `delayMs` of loop time apart.
  static Response inPieces(std::vector<std::string> pieces, std::int64_t delayMs = 0);
  // No answer; the connection stays open.
  static Response silence();
  // Optional last words (a line end added when missing), then FIN / RST.
  static Response close(std::string lastWords = {});
  static Response reset(std::string lastWords = {});
  static Response stopReading();
};

class NntpServerDouble {
 public:
  static constexpr std::uint16_t kNntpPort = 119;

  // Binds a loopback address of its own (127.a.b.c, never 127.0.0.1, picked
  // from the process id and a counter so parallel test processes do not
  // collide) on port 119 and listens. Binding port 119 needs root or
  // net.ipv4.ip_unprivileged_port_start <= 119: see listening()/bindError().
  explicit NntpServerDouble(MessageLoop& loop);
  ~NntpServerDouble();
  NntpServerDouble(const NntpServerDouble&) = delete;
  NntpServerDouble& operator=(const NntpServerDouble&) = delete;

  // Moves the listener to ::1, on a port of the system's choice (::1 is one
  // address for every process): address() becomes a Host value with its
  // port, "[::1]:40123". False when the machine has no ::1.
  bool listenOnIpv6Loopback();
  // Dotted address to give the client as its host ("127.12.34.56"), or the
  // IPv6 one with its port.
  [[nodiscard]] const std::string& address() const;
  [[nodiscard]] bool listening() const;
  // errno of the failed bind/listen when not listening (0 otherwise).
  [[nodiscard]] int bindError() const;

  // --- script ---------------------------------------------------------------
  // Greeting of the next connections (default "200 ...", posting ok).
  void onConnect(Response response, int times = kAlways);
  // Reply to a command line whose beginning matches `prefix`, ignoring case.
  // A "post" answered with a reply beginning "340" makes the following bytes
  // an article, up to the line ".".
  void onCommand(std::string prefix, Response response, int times = kAlways);
  // Answer to a complete article (default "240 article posted ok").
  void onArticle(Response response, int times = kAlways);
  // Acts as soon as the article being received has reached `afterBytes`
  // bytes (as sent, dot-stuffed); the rest of it is still read and recorded.
  void onArticleBytes(std::size_t afterBytes, Response response, int times = 1);
  static constexpr int kAlways = -1;

  // After `skip` more articles kept, the next `times` are not: STAT and HEAD
  // do not find them (a server that loses what it accepted).
  void forgetAccepted(int times = kAlways, int skip = 0);

  // Refused connections: the listener is closed, so a connect to the address
  // gets ECONNREFUSED; false opens it again on the same address.
  void refuseConnections(bool refuse);
  // Acts on the newest open connection at once (unsolicited text, a drop).
  void act(const Response& response);
  // Receive buffer of the connections accepted from now on (SO_RCVBUF), so a
  // peer that stops reading blocks the client after a few kilobytes.
  void limitReceiveBuffer(int bytes);

  // --- record ----------------------------------------------------------------
  struct Connection {
    std::string received;               // every byte the client sent
    std::vector<std::string> commands;  // command lines, without the line end
    std::vector<std::string> articles;  // articles received, un-dot-stuffed
    bool open = true;
    bool closedByClient = false;  // the client closed or reset it
  };
  [[nodiscard]] std::size_t connectionCount() const;
  [[nodiscard]] std::size_t openConnections() const;
  [[nodiscard]] const Connection& connection(std::size_t index) const;
  // Every byte received, over all connections, in connection order.
  [[nodiscard]] std::string received() const;
  [[nodiscard]] std::vector<std::string> commands() const;
  // Articles as the server stores them: dot-stuffing removed, without the
  // terminating "." line, line ends as sent.
  [[nodiscard]] std::vector<std::string> articles() const;
  // The articles the server keeps (see above), in the order received.
  [[nodiscard]] std::vector<std::string> storedArticles() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tidewell::test
