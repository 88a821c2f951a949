// One posting connection: its dialogue, its articles, its pacing, its
// timeout and its reconnections.
#include "posting/post_link.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "net/socket_messages.h"
#include "platform/text.h"
#include "platform/winsock_errors.h"
#include "platform/winsock_types.h"
#include "posting/nntp_dialogue.h"
#include "posting/rate_cap.h"
#include "posting/server_failover.h"

namespace tidewell {

namespace {

constexpr unsigned kLinkTimeoutTimer = 1;
constexpr unsigned kLinkReconnectTimer = 2;
constexpr std::uint32_t kLinkStartMessage = 6101;
// An idle link looks for its next article from the loop's top, not from
// within the call that ended the last one (no recursion, nothing held).
constexpr std::uint32_t kLinkNextMessage = 6102;
// The bandwidth cap lets article bytes go again; with LinkPacing::OnTick,
// also the next small write of the article.
constexpr std::uint32_t kLinkPacedMessage = 6103;

// In the order of PostLink::State.
constexpr std::string_view kStateNames[] = {"Waiting", "Connecting", "Handshake", "Greeting", "StartTls",
                                            "User",    "Pass",       "Mode",      "Ready",    "Stat",
                                            "Post",    "Sending",    "Ack",       "Asking",   "Lost"};
static_assert(std::size(kStateNames) == static_cast<std::size_t>(PostLink::State::Lost) + 1);

}  // namespace

static_assert(loginStepOf(PostLink::State::Mode) == nntp::LoginStep::Mode);

PostLink::PostLink(MessageLoop& loop, SocketManager& sockets, const LinkSettings& settings, int number, Events events,
                   LinkPacing pacing)
    : loop_(loop),
      settings_(settings),
      number_(number),
      events_(std::move(events)),
      pacing_(pacing),
      socket_(sockets, InternetEndpoint(), 2, 1, 0),
      connector_(sockets) {
  target_ = loop_.createTarget([this](const Message& message) { onMessage(message); });
  socket_.SetForwardMask(kForwardAllMask);
  socket_.SetNotifyWindow(target_);
}

PostLink::~PostLink() {
  close(true);
  loop_.destroyTarget(target_);
}

void PostLink::start() {
  loop_.post(target_, kLinkStartMessage);
}

void PostLink::wake() {
  if (state_ == State::Ready) {
    loop_.post(target_, kLinkNextMessage);
  }
}

void PostLink::tick() {
  if (pacing_ != LinkPacing::OnTick) {
    return;
  }
  if (state_ == State::Sending) {
    loop_.post(target_, kLinkPacedMessage);  // one more small write
  } else if (asksForReply() && replyBytes()) {
    (void)readOnce();
  }
}

void PostLink::close(bool orderly) {
  connector_.Cancel();
  loop_.killTimer(target_, kLinkTimeoutTimer);
  loop_.killTimer(target_, kLinkReconnectTimer);
  if (orderly && state_ != State::Waiting && state_ != State::Lost && state_ != State::Connecting) {
    transport_.Shutdown(kShutdownBoth);  // in order: close_notify first when secure
  }
  transport_.Close();
  replies_.clear();
  article_.reset();
  state_ = State::Lost;
}

void PostLink::onMessage(const Message& message) {
  switch (message.id) {
    case kLinkStartMessage:
      connect();
      break;
    case kLinkNextMessage:
      if (state_ == State::Ready && !article_) {
        nextArticle();
      }
      break;
    case kSocketEventMessage:
      onSocketEvent(message.lParam);
      break;
    case kLinkPacedMessage:
      if (state_ == State::Sending) {
        sendArticle();
      }
      break;
    case kTlsHandshakeMessage:
      if (state_ == State::Handshake) {
        handshakeDone(message.lParam);
      }
      break;
    case kTimerMessage:
      if (message.wParam == kLinkTimeoutTimer && pacing_ == LinkPacing::OnTick) {
        timeoutStep();
        break;
      }
      loop_.killTimer(target_, static_cast<unsigned>(message.wParam));
      if (message.wParam == kLinkReconnectTimer && state_ == State::Waiting) {
        connect();
      } else if (message.wParam == kLinkTimeoutTimer && state_ != State::Waiting && state_ != State::Lost) {
        broke("Timeout occurred with news server.", Loss::TimedOut);
      }
      break;
    default:
      break;
  }
}

void PostLink::handshakeDone(std::intptr_t failed) {
  if (failed != 0 || !transport_.secure()) {
    const std::string reason = "Secure connection failed.  " + transport_.tlsFailureText();
    if (transport_.tlsConnectionLost()) {
      broke(reason);
    } else {
      refuse(reason, {}, Loss::Broke);
    }
    return;
  }
  const std::string description = transport_.tls()->Description();
  if (events_.secured) {
    events_.secured(description);
  } else {
    note("Connection " + std::to_string(number_) + ": Secure connection: " + description);
  }
  trace("Secure connection: " + description + "\r\n");
  if (settings_.encryption == Encryption::Tls) {
    enter(State::Greeting);
    armTimeout();
    readReplies();
  } else {
    // STARTTLS: no second greeting
    loginMove(nntp::afterGreeting(settings_.encryption, true, !settings_.username.empty()), {});
  }
}

// Every change of a link's state comes through here, where a test's trace
// can watch it.
void PostLink::enter(State next) {
  const bool moved = next != state_;
  if (moved && events_.stateTrace) {
    events_.stateTrace(number_, kStateNames[static_cast<std::size_t>(next)]);
  }
  state_ = next;
  if (moved && events_.entered) {
    events_.entered(next);
  }
}

void PostLink::note(const std::string& text) {
  if (events_.note) {
    events_.note(text);
  }
}

void PostLink::trace(std::string_view text) {
  if (events_.log) {
    events_.log(text);
  }
}

void PostLink::connect() {
  trace("Connecting...\r\n");
  replies_.clear();
  command_.clear();
  commandOffset_ = 0;
  enter(State::Connecting);
  armTimeout();
  auto done = [this](HostConnector::Outcome outcome) { connected(std::move(outcome)); };
  const int started = settings_.proxy ? connector_.StartThroughProxy(*settings_.proxy, settings_.hostName,
                                                                     settings_.port, settings_.family, done)
                                      : connector_.Start(settings_.hostName, settings_.port, settings_.family, done);
  if (started != 0) {
    refuse(connector_.lastError() == kWsaEAfNoSupport ? "The HOST is not an address of the ADDRESS FAMILY."
                                                      : "Unable to convert the host name to an address.",
           {}, Loss::Settings);
  }
}

void PostLink::connected(HostConnector::Outcome outcome) {
  if (state_ != State::Connecting) {
    if (outcome.handle != kInvalidSocket) {
      socket_.AdoptConnected(outcome.handle, outcome.family, outcome.peer.data());
      transport_.Close();
    }
    return;
  }
  if (outcome.lookupFailed) {
    refuse("Could not resolve Host name.", {}, Loss::Unresolved);  // another try cannot find it either
    return;
  }
  if (!outcome.proxyProblem.empty()) {
    refuse(outcome.proxyProblem, {}, Loss::Broke);
    return;
  }
  if (outcome.error == 0) {
    trace("Connected to " + outcome.peerText + "\r\n");
    socket_.AdoptConnected(outcome.handle, outcome.family, outcome.peer.data());
    (void)socket_.SelectConnected();
  }
  onSocketEvent(makeSelectReply(kFdConnect, outcome.error));
}

void PostLink::onSocketEvent(std::intptr_t lParam) {
  const int error = selectErrorOf(lParam);
  switch (selectEventOf(lParam)) {
    case kFdConnect:
      if (state_ != State::Connecting) {
        break;
      }
      if (error != 0) {
        broke("Error connecting to server.");
      } else if (settings_.encryption == Encryption::Tls) {
        startTls();
      } else {
        enter(State::Greeting);
        armTimeout();
        readReplies();  // a greeting that came with the connection
      }
      break;
    case kFdRead:
      if (error != 0) {
        broke("Error reading from server.");
      } else {
        readReplies();
      }
      break;
    case kFdWrite:
      if (events_.writeReady) {
        events_.writeReady();
      }
      if (state_ == State::Sending) {
        sendArticle();
      } else if (!command_.empty()) {
        sendCommand(std::move(command_), state_);
      }
      break;
    case kFdClose:
      if (state_ == State::Waiting || state_ == State::Lost || state_ == State::Connecting) {
        break;
      }
      // Last words before an orderly close (a refusal) are taken first.
      if (error == 0) {
        readReplies(true);
      }
      if (state_ != State::Waiting && state_ != State::Lost) {
        broke("Error on CLOSE receipt.");
      }
      break;
    default:
      break;
  }
}

void PostLink::startTls() {
  enter(State::Handshake);
  replies_.clear();
  armTimeout();
  if (transport_.StartTls(settings_.hostName, settings_.tls) != 0) {
    refuse("Secure connection failed.  " + transport_.tlsFailureText(), {}, Loss::Broke);
  }
}

void PostLink::loginMove(nntp::LoginNext next, const std::string& line) {
  switch (next) {
    case nntp::LoginNext::SendStartTls:
      sendCommand(std::string(nntp::kStartTls), State::StartTls);
      break;
    case nntp::LoginNext::Handshake:
      startTls();
      break;
    case nntp::LoginNext::SendUser:
      sendCommand(nntp::userCommand(settings_.username), State::User);
      break;
    case nntp::LoginNext::SendPass:
      sendCommand(nntp::passCommand(settings_.password), State::Pass);
      break;
    case nntp::LoginNext::SendMode:
      sendCommand(std::string(nntp::kModeReader), State::Mode);
      break;
    case nntp::LoginNext::LoggedIn:
      enter(State::Ready);
      nextArticle();
      break;
    case nntp::LoginNext::NotSecure:
      refuse("The connection is not secure: no login.", {}, Loss::NotSecure);
      break;
    case nntp::LoginNext::Refused: {
      const nntp::LoginStep step = loginStepOf(state_);
      refuse(nntp::loginRefusal(step, shownReply(line)),
             nntp::refusalHoldsReply(step) ? std::string() : shownReply(line));
      break;
    }
  }
}

bool PostLink::asksForReply() const {
  switch (state_) {
    case State::Greeting:
    case State::StartTls:
    case State::User:
    case State::Pass:
    case State::Mode:
    case State::Stat:
    case State::Post:
    case State::Ack:
    case State::Asking:
      return true;
    default:
      return false;
  }
}

void PostLink::readReplies(bool closing) {
  // OnTick: replies wait for the tick, but not the last words before a close.
  if (pacing_ == LinkPacing::OnTick && !closing) {
    return;
  }
  while (asksForReply() && replyBytes() && readOnce()) {
  }
}

bool PostLink::readOnce() {
  char buffer[kReadSize];
  std::string_view data;
  if (!replies_.hasLine()) {
    int size = replies_.room();
    if (transport_.Receive(buffer, size) != 0) {
      if (!events_.readFailed) {
        broke("Error reading from server.");
        return false;
      }
      events_.readFailed();  // the owner waits for the socket's own event
      return false;
    }
    if (size == 0) {
      if (events_.readData) {
        events_.readData({});
      }
      return false;
    }
    data = replies_.add(buffer, size);
  }
  if (!replies_.hasLine()) {
    if (events_.readData) {
      events_.readData(data);
    }
    if (replies_.tooLong()) {
      broke("Reply from server too long.");
    }
    return true;
  }
  const std::string line = replies_.takeLine();
  trace("< " + shownReply(line) + "\r\n");
  if (events_.reply) {
    events_.reply(line, data);
  }
  onReply(std::strtol(line.c_str(), nullptr, 10), line);
  return true;
}

void PostLink::onReply(long code, const std::string& line) {
  loop_.killTimer(target_, kLinkTimeoutTimer);
  switch (state_) {
    case State::Greeting:
    case State::StartTls:
    case State::User:
    case State::Pass:
    case State::Mode: {
      loginMove(nntp::loginNext(loginStepOf(state_), code, settings_.encryption, transport_.secure(),
                                !settings_.username.empty()),
                line);
      break;
    }
    case State::Stat:
      if (code == 223) {
        finish(code, line);  // the server has it: posted before the break
      } else {
        // 430: not there; anything else: STAT is not offered. Posted again
        // under the same id either way, so the server keeps one copy at most.
        article_->checkFirst = false;
        article_->statRefused = code != 430;
        article_->statReply = trimmed(shownReply(line));
        sendCommand(std::string(nntp::kPost), State::Post);
      }
      break;
    case State::Post:
      if (code == 340) {
        if (article_->wire.size() == 0 && events_.compose && !events_.compose(*article_)) {
          return;  // the owner has ended the link
        }
        enter(State::Sending);
        articleOffset_ = 0;
        armTimeout();
        if (pacing_ == LinkPacing::OnTick) {
          loop_.post(target_, kLinkPacedMessage);
        } else {
          sendArticle();
        }
      } else {
        refuse("Server not accepting POST: " + shownReply(line), shownReply(line));
      }
      break;
    case State::Ack:
      finish(code, line);
      break;
    case State::Asking:
      if (const Next next = events_.answer(code, line); next == Next::ReadOn) {
        armTimeout();  // more lines answer what was asked
      } else {
        enter(State::Ready);
        if (next == Next::AskNext) {
          ask();
        }
      }
      break;
    default:
      break;
  }
}

void PostLink::nextArticle() {
  if (events_.ask && ask()) {
    return;
  }
  if (!events_.take) {
    return;
  }
  article_ = events_.take();
  if (!article_) {
    return;  // Ready: wake() brings the next one
  }
  article_->startedMs = loop_.clock().monotonicMs();
  if (article_->checkFirst && !article_->messageId.empty()) {
    sendCommand(nntp::statCommand(article_->messageId), State::Stat);
  } else {
    sendCommand(std::string(nntp::kPost), State::Post);
  }
}

bool PostLink::ask() {
  std::string questions = events_.ask();
  if (questions.empty()) {
    return false;
  }
  sendCommand(std::move(questions), State::Asking);
  return true;
}

void PostLink::sendCommand(std::string text, State next) {
  enter(next);
  if (commandOffset_ == 0 || text != command_) {
    command_ = std::move(text);
    commandOffset_ = 0;
    trace(command_);
  }
  int size = static_cast<int>(command_.size() - commandOffset_);
  if (sendLogged(command_.data() + commandOffset_, size)) {
    broke("Error writing data.");
    return;
  }
  commandOffset_ += static_cast<std::size_t>(size);
  if (commandOffset_ == command_.size()) {
    command_.clear();
    commandOffset_ = 0;
  }
  armTimeout();
  readReplies();  // a reply that came early
}

void PostLink::sendArticle() {
  HeldArticle& wire = article_->wire;
  while (articleOffset_ < wire.size()) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(wire.size() - articleOffset_, static_cast<std::int64_t>(articleWriteSize(pacing_))));
    const std::size_t asked = allowedBytes(settings_.rateCap, wanted, {target_, kLinkPacedMessage, 0});
    if (asked == 0) {
      return;  // the cap sends kLinkPacedMessage
    }
    const std::string_view piece = wire.piece(articleOffset_, asked);
    if (piece.empty()) {
      broke("Error reading the article held for sending.", Loss::Unreadable);
      return;
    }
    int size = static_cast<int>(asked);
    if (sendLogged(piece.data(), size)) {
      broke("Error writing data.");
      return;
    }
    if (size <= 0) {
      return;  // the write-ready event sends the rest
    }
    spentBytes(settings_.rateCap, static_cast<std::size_t>(size));
    articleOffset_ += size;
    if (events_.sent) {
      events_.sent(size);
    }
    if (events_.log) {
      trace("> " + std::to_string(size) + " bytes of " + article_->messageId + " (" + std::to_string(articleOffset_) +
            " of " + std::to_string(wire.size()) + ")\r\n");
    }
    armTimeout();  // the article moved on
    if (static_cast<std::size_t>(size) < asked) {
      return;
    }
    if (pacing_ == LinkPacing::OnTick) {
      loop_.post(target_, kLinkPacedMessage);  // one small write per dispatch
      return;
    }
  }
  enter(State::Ack);
  armTimeout();
  readReplies();
}

bool PostLink::sendLogged(const char* data, int& size) {
  const int asked = size;
  if (events_.writing) {
    events_.writing(std::string_view(data, static_cast<std::size_t>(asked)));
  }
  const bool failed = transport_.Send(data, size) != 0;
  if (events_.wrote) {
    events_.wrote(asked, failed ? 0 : size, failed);
  }
  return failed;
}

void PostLink::finish(long code, const std::string& line) {
  std::shared_ptr<LinkArticle> article = std::move(article_);
  article_.reset();
  enter(State::Ready);
  article->wire.release();  // posted: its file goes at once
  const LinkOutcome outcome{code, line, loop_.clock().monotonicMs() - article->startedMs};
  events_.finished(std::move(article), outcome);
  wake();
}

void PostLink::armTimeout() {
  timeoutLeftMs_ = kReplyTimeoutMs;
  loop_.setTimer(target_, kLinkTimeoutTimer, pacing_ == LinkPacing::OnTick ? kTimeoutTickMs : kReplyTimeoutMs);
}

void PostLink::timeoutStep() {
  if (state_ == State::Waiting || state_ == State::Lost) {
    loop_.killTimer(target_, kLinkTimeoutTimer);
    return;
  }
  timeoutLeftMs_ -= kTimeoutTickMs;
  if (events_.timeoutLeft) {
    events_.timeoutLeft(std::max<std::int64_t>(timeoutLeftMs_, 0) / 1000);
  }
  if (timeoutLeftMs_ <= 0) {
    loop_.killTimer(target_, kLinkTimeoutTimer);
    broke("Timeout occurred with news server.", Loss::TimedOut);
  }
}

void PostLink::dropArticle() {
  if (!article_) {
    return;
  }
  // Its data may have reached the server whole: with an id, ask first.
  if (state_ == State::Ack && !article_->messageId.empty()) {
    article_->checkFirst = true;
    article_->doubted = true;
  }
  events_.giveBack(std::move(article_));
  article_.reset();
}

void PostLink::broke(std::string_view reason, Loss loss) {
  lostIn_ = state_;
  mayRetry_ = true;
  connector_.Cancel();
  dropArticle();
  loop_.killTimer(target_, kLinkTimeoutTimer);
  transport_.Close();
  replies_.clear();
  command_.clear();
  commandOffset_ = 0;
  trace("Connection broke: " + std::string(reason) + "\r\n");
  // The run's reconnections are shared by its links.
  const int reconnection = events_.reconnecting ? events_.reconnecting() : 0;
  if (reconnection < 1 || reconnection > kMaxReconnects) {
    giveUp(std::string(reason) + "  Maximum Reconnects Failed.", unreachableText(kMaxReconnects), reason, loss);
    return;
  }
  enter(State::Waiting);
  note("Connection " + std::to_string(number_) + ": " + std::string(reason) + "  Attempting Reconnection.");
  loop_.setTimer(target_, kLinkReconnectTimer, kReconnectDelaysMs[reconnection - 1]);
}

void PostLink::refuse(std::string_view reason, std::string why, Loss loss) {
  lostIn_ = state_;
  mayRetry_ = false;
  trace("Refused: " + std::string(reason) + "\r\n");
  connector_.Cancel();
  dropArticle();
  transport_.Close();
  giveUp(reason, why.empty() ? std::string(reason) : std::move(why), reason, loss);
}

void PostLink::giveUp(std::string_view text, std::string why, std::string_view reason, Loss loss) {
  lostReason_ = std::move(why);
  lossText_ = reason;
  loss_ = loss;
  enter(State::Lost);
  loop_.killTimer(target_, kLinkTimeoutTimer);
  loop_.killTimer(target_, kLinkReconnectTimer);
  // The last link to fail does not say that others take over: none is left.
  const bool othersLeft = !events_.othersLeft || events_.othersLeft();
  note("Connection " + std::to_string(number_) + " failed: " + std::string(text) +
       (othersLeft ? "  The other connections take over its work." : ""));
  events_.lost(*this);
}

}  // namespace tidewell
