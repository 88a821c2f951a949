// The default mode's one connection: a link paced by the live tick, whose
// events become the session's numbered states, its panel texts, its
// report lines and its line-by-line debug log.
#include <cstdio>
#include <cstdlib>

#include "platform/host_address.h"
#include "platform/text.h"
#include "posting/session.h"
#include "settings/settings_store.h"

namespace tidewell {

namespace {

constexpr std::string_view kTlsFailed = "Secure connection failed.  ";
constexpr std::string_view kReplyTooLong = "Reply from server too long.";

}  // namespace

void PostingSession::Impl::StartConnection(ServerChoice server) {
  inboundLight();
  outboundLight();
  setState(SessionState::LookingUp);
  display_.ShowState("Looking up address...");

  server_ = std::move(server);
  ConnectionPlan plan = planConnection(server_, services_.settings);
  if (!plan.shownName.empty()) {
    display_.ShowOutboundInfo(plan.shownName);
  }
  if (!plan.problem.empty()) {
    refuseSettings(plan.problem);
    return;
  }
  if (parallel_) {
    if (plan.hostFamily != kAfUnspec && plan.link.family != kAfUnspec && plan.hostFamily != plan.link.family) {
      refuseSettings("The HOST is not an address of the ADDRESS FAMILY.");  // no link could connect
      return;
    }
    // Each link connects by itself, through its own connector.
    setState(SessionState::Connecting);
    display_.ShowState("Connecting...");
    startParallel(std::move(plan.link));
    return;
  }
  if (plan.hostFamily != kAfUnspec) {
    setState(SessionState::Connecting);  // an address: nothing to look up
    display_.ShowState("Connecting...");
  }
  linkSettings_ = std::move(plan.link);
  linkSettings_.rateCap = &rateCap_;
  link_ = std::make_unique<PostLink>(services_.loop, services_.socketManager, linkSettings_, 1, linkEvents(),
                                     LinkPacing::OnTick);
  link_->start();
}

PostLink::Events PostingSession::Impl::linkEvents() {
  PostLink::Events events;
  events.take = [this] { return std::exchange(pendingArticle_, nullptr); };
  events.ask = [this] { return std::exchange(pendingQuestion_, {}); };
  events.answer = [this](long, const std::string&) {
    onStatAnswer();
    return PostLink::Next::Stop;  // the session says what comes next
  };
  events.compose = [this](LinkArticle& article) { return composeArticle(article); };
  events.finished = [this](const std::shared_ptr<LinkArticle>&, const LinkOutcome&) { onAcknowledgement(); };
  // A broken connection ends the run's connection: RecoverFromError decides.
  events.giveBack = [](const std::shared_ptr<LinkArticle>&) {};
  events.lost = [this](PostLink& link) { onLinkLost(link); };
  events.entered = [this](PostLink::State state) { onLinkState(state); };
  events.secured = [this](std::string_view description) {
    inboundLight();
    log_.ReportStamped("Secure connection: " + std::string(description) + "\r\n");
  };
  events.timeoutLeft = [this](std::int64_t seconds) {
    display_.ShowInboundInfo(formatText("Timeout in %lld seconds...", static_cast<long long>(seconds)));
    updateElapsed();
  };
  events.readData = [this](std::string_view data) {
    inboundLight();
    log(data.empty() ? std::string_view("\n> Blank Read Ocurred\n") : data);
  };
  events.reply = [this](const std::string& line, std::string_view data) {
    inboundLight();
    replyBuffer_ = line;
    replyCode_ = std::strtol(line.c_str(), nullptr, 10);
    display_.ShowInboundInfo(replyBuffer_);
    log(data);
  };
  events.readFailed = [this] {
    inboundLight();
    display_.ShowInboundInfo("Error occured reading data.");
  };
  events.writing = [this](std::string_view data) {
    if (isStreaming(sessionState_)) {
      progress_.addPosted(static_cast<std::int64_t>(data.size()));
      showStreamingProgress(article_.getArticleSent(), article_.getArticleTotal());
    }
    log("> Start Trans\r\n");
    log(data);
    outboundLight();
  };
  events.wrote = [this](int asked, int did, bool failed) { logWrite(asked, did, failed); };
  events.writeReady = [this] {
    log(formatText("SockNot W (%lld done %lld total)\r\n", static_cast<long long>(article_.getArticleSent()),
                   static_cast<long long>(article_.getArticleTotal())));
    if (isStreaming(sessionState_)) {
      outboundLight();
    }
  };
  return events;
}

void PostingSession::Impl::logWrite(int asked, int did, bool failed) {
  if (failed) {
    log("\r\nBlocking Error on Send\r\n\r\n");
    return;
  }
  log(formatText("> End Trans\r\n\r\n> Asked to write %d bytes, did %d. (%lld done %lld total)\r\n", asked, did,
                 static_cast<long long>(article_.getArticleSent()),
                 static_cast<long long>(article_.getArticleTotal())));
  if (did < asked && isStreaming(sessionState_)) {
    // The next write-ready event or live tick sends the rest again.
    article_.rewindArticle(asked - did);
  }
}

void PostingSession::Impl::showConnecting() {
  if (sessionState_ == SessionState::LookingUp) {
    setState(SessionState::Connecting);
    display_.ShowState("Connecting...");
  }
}

// The link's states as the session's numbered states and their texts.
void PostingSession::Impl::onLinkState(PostLink::State state) {
  using State = PostLink::State;
  switch (state) {
    case State::Handshake:
      showConnecting();
      outboundLight();
      setState(SessionState::TlsHandshake);
      display_.ShowState("Securing the connection (TLS)...");
      log_.ReportStamped("Securing the connection (TLS)...\r\n");
      break;
    case State::Greeting:
      if (sessionState_ != SessionState::TlsHandshake) {
        showConnecting();
        outboundLight();
      }
      // Connected (5) passes at once to AwaitGreeting.
      display_.ShowState("Connected - Waiting for response...");
      setState(SessionState::AwaitGreeting);
      break;
    case State::StartTls:
      display_.ShowState("STARTTLS...");
      setState(SessionState::AwaitStartTlsReply);
      break;
    case State::User:
      setState(SessionState::SendUser);
      log_.ReportStamped("Authenticating...\r\n");
      display_.ShowState("AUTHINFO USER...");
      setState(SessionState::AwaitUserReply);
      break;
    case State::Pass:
      display_.ShowState("AUTHINFO PASS...");
      setState(SessionState::AwaitPassReply);
      break;
    case State::Mode:
      setState(SessionState::SendModeReader);
      display_.ShowState("Setting to READER mode...");
      log_.ReportStamped("Setting to READER mode...\r\n");
      setState(SessionState::AwaitModeReply);
      break;
    case State::Ready:
      if (sessionState_ == SessionState::AwaitModeReply) {
        log_.ReportStamped("Posting Start.\r\n\r\n");
        setState(SessionState::StartPosting);
        postStep();
      }
      break;
    case State::Asking:
      setState(SessionState::AwaitStatReply);
      break;
    case State::Post:
      setState(SessionState::AwaitPostReply);
      break;
    case State::Sending:
      // The reply timeout runs while the article streams, and only a write
      // that moves the article on starts it again: a server that stops
      // reading times out like a silent one.
      setState(SessionState::StreamArticle);
      articleStart_ = now();
      break;
    case State::Ack:
      setState(SessionState::ArticleSent);
      display_.ShowInboundInfo("Waiting Server's Ack For Article.");
      setState(SessionState::AwaitAck);
      break;
    default:
      break;
  }
}

// How the connection failed, in the words and with the recovery of each
// failure.
void PostingSession::Impl::onLinkLost(const PostLink& link) {
  const std::string& text = link.lossText();
  switch (link.loss()) {
    case PostLink::Loss::TimedOut:
      timedOut();
      return;
    case PostLink::Loss::Unresolved:
      outboundLight();
      showProblemInbound("Error Looking up address\r\rCould not resolve Host name.");
      log_.ReportStamped("Error Looking up address.  Could not resolve Host name.");
      reconnectAllowed_ = false;
      failoverReason_ = text;
      RecoverFromError();
      return;
    case PostLink::Loss::Settings:
      refuseSettings(text);
      return;
    case PostLink::Loss::NotSecure:
      // Never reached by the dialogue's order; the password never goes out
      // in clear whatever the order becomes.
      refuseDialogue("Error - The connection is not secure.\rUnable to talk to this server.",
                     "The connection is not secure: no login.\r\n");
      return;
    case PostLink::Loss::Unreadable:
      failArticle("Error reading UUE file.\r\rCommunication terminated.", "Error reading UUE file.(2)");
      return;
    case PostLink::Loss::Refused:
      if (link.lostIn() == PostLink::State::Post) {
        refusePost();
        return;
      }
      if (link.lostIn() >= PostLink::State::Greeting && link.lostIn() <= PostLink::State::Mode) {
        refuseLogin(loginStepOf(link.lostIn()));
        return;
      }
      break;  // not a refusal the dialogue words (never so): a failure like a break
    case PostLink::Loss::Broke:
      break;
  }
  if (link.lostIn() == PostLink::State::Connecting) {
    showConnecting();
  }
  std::string shown = text;
  if (text.starts_with(kTlsFailed)) {
    shown = "Secure connection failed.\r" + text.substr(kTlsFailed.size());
  } else if (text == kReplyTooLong) {
    shown = "Error - " + text;
  }
  failConnection(shown + "\r\rCommunication terminated.", text + "  Communication terminated.\r\n", link.mayRetry());
}

void PostingSession::Impl::refuseSettings(std::string_view problem) {
  const std::string text(problem);
  showProblemOutbound(text + "\r\rConfigure with SETTINGS.");
  log_.ReportStamped(text + "  Configure with SETTINGS.\r\n");
  if (verifyReposting()) {
    reconnectAllowed_ = false;
    static_cast<void>(verifyRecovers());  // posting again ends; the summary follows
    return;
  }
  retireLink(false);
  setState(SessionState::Idle);
  resetButtons();
  endRun(RunOutcome::EndedWithoutFinishing, false);
}

void PostingSession::Impl::failConnection(std::string_view shown, std::string_view reported, bool reconnect) {
  showProblemInbound(shown);
  log_.ReportStamped(reported);
  reconnectAllowed_ = reconnect;
  if (!reconnect) {
    failoverReason_ = replyAsReason(reported);
  }
  RecoverFromError();
}

// The link may be inside one of its own events: it is closed now and
// destroyed from the loop's top.
void PostingSession::Impl::retireLink(bool orderly) {
  pendingArticle_.reset();
  pendingQuestion_.clear();
  if (!link_) {
    return;
  }
  link_->close(orderly);
  retiredLinks_.push_back(std::move(link_));
  services_.loop.post(target_, kReapMessage);
}

}  // namespace tidewell
