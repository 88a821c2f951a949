// Connecting, the socket events, and the reads and writes of the dialogue.
#include <arpa/inet.h>

#include <cstdio>

#include "net/endpoint_address.h"
#include "net/socket_manager.h"
#include "net/socket_messages.h"
#include "platform/host_address.h"
#include "platform/text.h"
#include "platform/winsock_errors.h"
#include "platform/winsock_types.h"
#include "posting/session.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"

namespace tidewell {

void PostingSession::Impl::StartConnection(ServerChoice server) {
  replies_.clear();
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
  encryption_ = plan.link.encryption;
  tlsSettings_ = plan.link.tls;
  hostName_ = plan.link.hostName;
  serverAddress_.SetPort(htons(plan.link.port));
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
  auto done = [this](HostConnector::Outcome outcome) { OnConnectorDone(std::move(outcome)); };
  const LinkSettings& to = plan.link;
  if ((to.proxy ? connector_.StartThroughProxy(*to.proxy, hostName_, to.port, to.family, done)
                : connector_.Start(hostName_, to.port, to.family, done)) != 0) {
    refuseSettings(connector_.lastError() == kWsaEAfNoSupport ? "The HOST is not an address of the ADDRESS FAMILY."
                                                              : "Unable to convert the host name to an address.");
  }
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
  StopTimeout();
  setState(SessionState::Idle);
  resetButtons();
  endRun(RunOutcome::EndedWithoutFinishing, false);
}

void PostingSession::Impl::OnConnectorDone(HostConnector::Outcome outcome) {
  if (sessionState_ != SessionState::LookingUp && sessionState_ != SessionState::Connecting) {
    if (outcome.handle != kInvalidSocket) {
      (void)services_.socketManager.winsock().closeSocket(outcome.handle);
    }
    return;
  }
  if (outcome.lookupFailed) {
    outboundLight();
    showProblemInbound("Error Looking up address\r\rCould not resolve Host name.");
    log_.ReportStamped("Error Looking up address.  Could not resolve Host name.");
    reconnectAllowed_ = false;
    failoverReason_ = "Could not resolve Host name.";
    RecoverFromError();
    return;
  }
  if (sessionState_ == SessionState::LookingUp) {
    setState(SessionState::Connecting);
    display_.ShowState("Connecting...");
  }
  if (!outcome.proxyProblem.empty()) {
    failConnection(outcome.proxyProblem + "\r\rCommunication terminated.",
                   outcome.proxyProblem + "  Communication terminated.\r\n", false);
    return;
  }
  if (outcome.error == 0) {
    socket_.AdoptConnected(outcome.handle, outcome.family, outcome.peer.data());
    (void)socket_.SelectConnected();
  }
  OnSocketEvent(makeSelectReply(kFdConnect, outcome.error));
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

void PostingSession::Impl::OnSocketEvent(std::intptr_t lParam) {
  const int error = selectErrorOf(lParam);
  switch (selectEventOf(lParam)) {
    case kFdWrite:
      onWriteReady();
      break;
    case kFdRead:
      // A reply waits with the socket for the live tick.
      if (error != 0) {
        failConnection("Error reading from server.\r\rCommunication terminated.",
                       "Error reading from server.  Communication terminated.\r\n", true);
      }
      break;
    case kFdConnect:
      onConnected(error);
      break;
    case kFdClose:
      onClosed(error);
      break;
    default:
      inboundLight();
      break;
  }
}

void PostingSession::Impl::onWriteReady() {
  char line[96];
  std::snprintf(line, sizeof line, "SockNot W (%lld done %lld total)\r\n",
                static_cast<long long>(article_.getArticleSent()), static_cast<long long>(article_.getArticleTotal()));
  log(line);
  if (isStreaming(sessionState_)) {
    postStep();
    outboundLight();
  }
}

void PostingSession::Impl::onConnected(int error) {
  if (sessionState_ != SessionState::Connecting) {
    inboundLight();
    return;
  }
  if (error != 0) {
    failConnection("Error connecting to server.\r\rCommunication terminated.",
                   "Error connecting to server.  Communication terminated.\r\n", true);
    return;
  }
  outboundLight();
  if (encryption_ == Encryption::Tls) {
    startTls();  // the greeting comes over TLS
    return;
  }
  // Connected (5) passes at once to AwaitGreeting.
  display_.ShowState("Connected - Waiting for response...");
  setState(SessionState::AwaitGreeting);
}

// A connection the server ends, by a reset or by an orderly close, is a
// failure like any other broken connection: reconnect at once rather than
// wait for the reply timeout. Whether a reset shows first as this event or
// as a failed send is a matter of timing, and both must end the same way.
// Before an orderly close the server may have had its last words (a
// refusal): they are taken first.
void PostingSession::Impl::onClosed(int error) {
  if (sessionState_ == SessionState::Idle) {
    return;
  }
  const std::uintptr_t connection = generation_;
  if (error == 0) {
    takeWaitingReplies();
  }
  if (generation_ == connection && sessionState_ != SessionState::Finish) {
    failConnection("Error on CLOSE receipt.\r\rCommunication terminated.",
                   "Error on CLOSE receipt.  Communication terminated.\r\n", true);
  }
}

void PostingSession::Impl::startTls() {
  setState(SessionState::TlsHandshake);
  display_.ShowState("Securing the connection (TLS)...");
  log_.ReportStamped("Securing the connection (TLS)...\r\n");
  // Nothing read before TLS is a reply after it.
  replies_.clear();
  ArmTimeout();
  if (transport_.StartTls(hostName_, tlsSettings_) != 0) {
    failTls();
  }
}

void PostingSession::Impl::OnTlsHandshake(std::intptr_t lParam) {
  if (sessionState_ != SessionState::TlsHandshake) {
    return;
  }
  if (lParam != 0 || !transport_.secure()) {
    failTls();
    return;
  }
  inboundLight();
  log_.ReportStamped("Secure connection: " + transport_.tls()->Description() + "\r\n");
  if (encryption_ == Encryption::Tls) {
    display_.ShowState("Connected - Waiting for response...");
    setState(SessionState::AwaitGreeting);
    return;
  }
  // STARTTLS: the server sends no second greeting; the dialogue goes on
  // where the greeting left it, now secure.
  loginMove(nntp::afterGreeting(encryption_, transport_.secure(), !server_.username.empty()),
            nntp::LoginStep::StartTls);
}

void PostingSession::Impl::failTls() {
  const std::string reason = transport_.tlsFailureText();
  failConnection("Secure connection failed.\r" + reason + "\r\rCommunication terminated.",
                 "Secure connection failed.  " + reason + "  Communication terminated.\r\n",
                 transport_.tlsConnectionLost());
}

// Reads what the server sent (unless a whole reply is waiting already) and
// runs Step with the next whole line as the reply. A partial line waits for
// the next poll; bytes after the line stay for the next reply. False when
// nothing could be read.
bool PostingSession::Impl::ReadReply() {
  inboundLight();
  char buffer[kReadSize];
  std::string_view data;
  if (!replies_.hasLine()) {
    int size = replies_.room();
    if (transport_.Receive(buffer, size) != 0) {
      display_.ShowInboundInfo("Error occured reading data.");
      return false;
    }
    if (size == 0) {
      log("\n> Blank Read Ocurred\n");
      return false;
    }
    data = replies_.add(buffer, size);
  }
  if (!replies_.hasLine()) {
    log(data);
    if (replies_.tooLong()) {
      failConnection("Error - Reply from server too long.\r\rCommunication terminated.",
                     "Reply from server too long.  Communication terminated.\r\n", true);
    }
    return true;
  }
  replyBuffer_ = replies_.takeLine();
  display_.ShowInboundInfo(replyBuffer_);
  log(data);
  replyReady_ = true;
  Step();
  return true;
}

void PostingSession::Impl::takeWaitingReplies() {
  const std::uintptr_t connection = generation_;
  while (generation_ == connection && isReplyWaiting(sessionState_) &&
         (replies_.hasLine() || transport_.ReadableBytes() > 0) && ReadReply()) {
  }
}

bool PostingSession::Impl::SendBuffer() {
  log("> Start Trans\r\n");
  log(commandBuffer_);
  outboundLight();
  const int asked = static_cast<int>(commandBuffer_.size());
  int accepted = asked;
  if (transport_.Send(commandBuffer_.data(), accepted) != 0) {
    log("\r\nBlocking Error on Send\r\n\r\n");
    failConnection("Error writing data.\r\rCommunication terminated.",
                   "Error writing data.  Communication terminated.\r\n", true);
    return false;
  }
  char line[160];
  std::snprintf(line, sizeof line, "> End Trans\r\n\r\n> Asked to write %d bytes, did %d. (%lld done %lld total)\r\n",
                asked, accepted, static_cast<long long>(article_.getArticleSent()),
                static_cast<long long>(article_.getArticleTotal()));
  log(line);
  if (accepted == asked) {
    if (isStreaming(sessionState_)) {
      postStep();
    }
  } else if (isStreaming(sessionState_)) {
    // The next write-ready event or live tick sends the rest again.
    article_.rewindArticle(asked - accepted);
  }
  return true;
}

bool PostingSession::Impl::sendText(std::string_view text, SessionState next) {
  commandBuffer_ = text;
  if (!SendBuffer()) {
    return false;
  }
  setState(next);
  ArmTimeout();
  return true;
}

}  // namespace tidewell
