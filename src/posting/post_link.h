#pragma once

// One connection to a news server: the whole dialogue (greeting, STARTTLS
// or TLS, AUTHINFO, mode reader), then, article after article, "post", the
// held article and its acknowledgement; or, for a link made to ask
// (Events::ask), its owner's questions and every line of their answers.
// Each link has its own loop target, so its own socket events, reply
// timeout and reconnection waits; its pacing (link_pacing.h) is fixed when
// it is made. Every connection of a run is a link: fast posting's pool,
// Verify's check and the default mode's one connection, whose owner words
// every step itself (the events under Events::entered).
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/host_connector.h"
#include "net/stream_socket.h"
#include "net/tls_channel.h"
#include "platform/message_loop.h"
#include "posting/held_article.h"
#include "posting/link_pacing.h"
#include "posting/reply_reader.h"
#include "posting/session_transport.h"

namespace tidewell {

class RateCap;
class SocketManager;
enum class Encryption : std::uint8_t;
namespace nntp {
enum class LoginNext : std::uint8_t;
enum class LoginStep : std::uint8_t;
}  // namespace nntp

// Where and how every link of a run connects. Each link connects through
// its own HostConnector: a name is looked up at each connection and its
// addresses raced (IPv6 and IPv4), or the proxy is asked for it.
struct LinkSettings {
  std::string hostName;    // the name or address to reach; the certificate must hold it
  std::uint16_t port = 0;  // host byte order
  int family = 0;          // kAfUnspec, kAfInet or kAfInet6
  std::optional<ProxyAddress> proxy;
  Encryption encryption{};
  TlsSettings tls;
  std::string username;  // empty: no AUTHINFO
  std::string password;
  RateCap* rateCap = nullptr;  // the run's cap, shared by every link; null: none
};

// An article of the list, composed, exactly as it goes onto the wire
// (dot-stuffed, CR LF, the terminating "." line included), held in memory
// or, for a long part, on disk.
struct LinkArticle {
  std::size_t serial = 0;  // its place among the run's articles
  HeldArticle wire;
  std::string messageId;  // "<...>"; empty: the server names it
  // Its data went out once and the connection broke before the
  // acknowledgement: asked for with STAT before it is posted again.
  bool checkFirst = false;
  // Its acknowledgement was lost once: a later "435 duplicate" refusal is
  // the server holding this very article.
  bool doubted = false;
  // STAT was refused on an earlier try; the report says it was posted again.
  bool statRefused = false;
  std::string statReply;       // its refusal, as the report shows it
  std::int64_t startedMs = 0;  // loop milliseconds when a link took it last
};

// How an article ended on a link.
struct LinkOutcome {
  long code = 0;               // 240 posted, 223 found by STAT, anything else refused
  std::string reply;           // the server's line, with its line end
  std::int64_t elapsedMs = 0;  // from taking the article to the reply
};

class PostLink {
 public:
  // What a link that asks does after a reply line (Events::answer).
  enum class Next : std::uint8_t {
    ReadOn,   // more lines answer what was asked: wait for them
    AskNext,  // everything asked is answered: ask what Events::ask gives
    Stop,     // ask nothing now: the link waits until its owner wakes or ends it
  };
  // Why a lost link failed, for an owner that words it itself.
  enum class Loss : std::uint8_t {
    Broke,       // the connection failed or broke (TLS and a proxy included)
    TimedOut,    // the server fell silent
    Unresolved,  // the host name has no address
    Settings,    // the settings cannot work (the address family, the name)
    Refused,     // the server refused the dialogue
    NotSecure,   // a login was due on a connection that is not secure
    Unreadable,  // the article held for sending could not be read
  };
  enum class State : std::uint8_t {
    Waiting,  // before a (re)connection
    Connecting,
    Handshake,
    Greeting,
    StartTls,
    User,
    Pass,
    Mode,
    Ready,  // connected, no article
    Stat,
    Post,
    Sending,
    Ack,
    Asking,  // questions sent, their answers awaited
    Lost,
  };

  struct Events {
    // Hands the link its next article; nullptr when none is waiting.
    std::function<std::shared_ptr<LinkArticle>()> take;
    // The article the link held ended (posted, found, or refused).
    std::function<void(std::shared_ptr<LinkArticle>, const LinkOutcome&)> finished;
    // The link broke or failed while it held the article: post it elsewhere.
    std::function<void(std::shared_ptr<LinkArticle>)> giveBack;
    // Article bytes handed to the connection.
    std::function<void(std::int64_t)> sent;
    // A line for the report (without time stamp and line end).
    std::function<void(std::string_view)> note;
    // The connection broke: asks the run for one of its reconnections.
    // Returns the reconnection's number in the run (1 to kMaxReconnects),
    // or 0 when the run has none left and the link fails for good.
    std::function<int()> reconnecting;
    // The link's traffic for the debug log: each command (the password
    // masked by the log), each reply line, each write of an article.
    std::function<void(std::string_view)> log;
    // The link failed for good.
    std::function<void(PostLink&)> lost;
    // Whether another link still works, to take over a failing link's articles.
    std::function<bool()> othersLeft;
    // Each change of the link's state: its number and the new state's name.
    std::function<void(int, std::string_view)> stateTrace;
    // LinkPacing::OnTick: each step of the reply timeout, with the seconds
    // left (0 just before the connection is given up as broken).
    std::function<void(std::int64_t)> timeoutLeft;
    // The connection is secure: the TLS session's description. Unset: a note.
    std::function<void(std::string_view)> secured;
    // Set: the link asks instead of posting. Once logged in it sends what
    // `ask` returns (one command line or several sent together; empty:
    // nothing to ask, the link waits) and hands every reply line (with its
    // line end) to `answer`, which says what comes next.
    std::function<std::string()> ask;
    std::function<Next(long, const std::string&)> answer;

    // For an owner that writes its own texts and log (the default mode's
    // one connection, LinkPacing::OnTick):
    // - entered: each state the link enters, before its command goes out;
    // - readData: a read that made no whole line (the bytes as kept; empty
    //   for a read that brought none);
    // - reply: each reply line, with the bytes read with it;
    // - readFailed: a read the transport refused (the owner waits for the
    //   socket's own event; unset, the link breaks at once);
    // - writing and wrote: each write, before (its bytes) and after (asked,
    //   taken, failed); writeReady: each write-ready event.
    std::function<void(State)> entered;
    std::function<void(std::string_view)> readData;
    std::function<void(const std::string&, std::string_view)> reply;
    std::function<void()> readFailed;
    std::function<void(std::string_view)> writing;
    std::function<void(int, int, bool)> wrote;
    std::function<void()> writeReady;
    // The server asked for an article the link holds uncomposed (its wire
    // empty): the owner composes it now. False: it could not, and the owner
    // has ended the link.
    std::function<bool(LinkArticle&)> compose;
  };

  PostLink(MessageLoop& loop, SocketManager& sockets, const LinkSettings& settings, int number, Events events,
           LinkPacing pacing = LinkPacing::AsTheyArrive);
  ~PostLink();
  PostLink(const PostLink&) = delete;
  PostLink& operator=(const PostLink&) = delete;

  void start();
  // A new article is waiting: an idle link takes it at once.
  void wake();
  // LinkPacing::OnTick: the owner's live tick. A whole reply that waits for
  // the link's question is taken now, one reply per tick.
  void tick();
  // LinkPacing::OnTick: a reply (or part of one) has come and waits for a tick.
  [[nodiscard]] bool replyWaiting() { return pacing_ == LinkPacing::OnTick && replyBytes(); }
  [[nodiscard]] bool idle() const { return state_ == State::Ready; }
  [[nodiscard]] bool isLost() const { return state_ == State::Lost; }
  [[nodiscard]] int number() const { return number_; }
  // Why a lost link failed: the server's refusal, or that it stayed
  // unreachable after the run's reconnections.
  [[nodiscard]] const std::string& lostReason() const { return lostReason_; }
  // The link's own words for its failure (no server line), their kind,
  // the state the link failed in, and whether another connection could
  // succeed (a break) or could not (a refusal).
  [[nodiscard]] const std::string& lossText() const { return lossText_; }
  [[nodiscard]] Loss loss() const { return loss_; }
  [[nodiscard]] State lostIn() const { return lostIn_; }
  [[nodiscard]] bool mayRetry() const { return mayRetry_; }
  // The owner ends the link, from anywhere (its own events included): no
  // event follows. `orderly`: the connection is shut down first.
  void close(bool orderly);

 private:
  void enter(State next);
  void onMessage(const Message& message);
  void onSocketEvent(std::intptr_t lParam);
  void connect();
  void connected(HostConnector::Outcome outcome);
  // Where a reply of the login (or a finished STARTTLS handshake) leads;
  // `line`: the reply, for a refusal.
  void loginMove(nntp::LoginNext next, const std::string& line);
  void startTls();
  // The TLS handshake ended (`failed`: the handshake message's error).
  void handshakeDone(std::intptr_t failed);
  // Takes the replies the state asks for, while the server has sent
  // something. `closing`: the server's last words before its close, taken
  // at once whatever the pacing.
  void readReplies(bool closing = false);
  // One read (none when a whole line waits), and the reply it completes;
  // false when nothing could be read.
  bool readOnce();
  [[nodiscard]] bool asksForReply() const;
  // Something of a reply is here: a whole line read, or bytes to read.
  [[nodiscard]] bool replyBytes() { return replies_.hasLine() || transport_.ReadableBytes() > 0; }
  void onReply(long code, const std::string& line);
  void nextArticle();
  // Sends what events_.ask gives; false when it gives nothing.
  bool ask();
  void sendCommand(std::string text, State next);
  void sendArticle();
  // One write, told to events_.writing and events_.wrote; true when it failed.
  bool sendLogged(const char* data, int& size);
  void note(const std::string& text);
  void finish(long code, const std::string& line);
  void armTimeout();
  void timeoutStep();
  void trace(std::string_view text);
  // The connection broke: reconnect after the next wait, or give up.
  void broke(std::string_view reason, Loss loss = Loss::Broke);
  // The server or the settings will not let this link post: give up now.
  // `why`: the server's line that refused it, when there is one.
  void refuse(std::string_view reason, std::string why = {}, Loss loss = Loss::Refused);
  void giveUp(std::string_view text, std::string why, std::string_view reason, Loss loss);
  void dropArticle();

  MessageLoop& loop_;
  const LinkSettings& settings_;
  int number_;
  Events events_;
  LinkPacing pacing_;
  std::int64_t timeoutLeftMs_ = 0;
  TargetHandle target_ = kNoTarget;
  StreamSocket socket_;
  SessionTransport transport_{socket_};
  State state_ = State::Waiting;
  ReplyReader replies_;
  std::string command_;  // a command line not wholly written yet
  std::size_t commandOffset_ = 0;
  std::shared_ptr<LinkArticle> article_;
  std::int64_t articleOffset_ = 0;  // bytes of the article the socket took
  HostConnector connector_;         // after the socket: cancelled before it closes
  std::string lostReason_;
  std::string lossText_;
  Loss loss_ = Loss::Broke;
  State lostIn_ = State::Waiting;
  bool mayRetry_ = false;
};

// The login step a link's state waits for the reply of (Greeting to Mode:
// the login's states stand in the order of its steps).
[[nodiscard]] constexpr nntp::LoginStep loginStepOf(PostLink::State state) {
  return static_cast<nntp::LoginStep>(static_cast<int>(state) - static_cast<int>(PostLink::State::Greeting));
}

}  // namespace tidewell
