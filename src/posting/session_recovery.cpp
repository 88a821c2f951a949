// The reply timeout, recovery from errors, the end of a run and the
// commands of the posting panel's buttons.
#include <cstdio>
#include <utility>

#include "platform/user_prompt.h"
#include "platform/viewer.h"
#include "posting/session.h"
#include "posting/session_parallel.h"
#include "settings/settings_store.h"
#include "upload/upload_list.h"

namespace tidewell {

namespace {
constexpr int kViewerLaunched = 31;  // launchViewer results above this are success
}  // namespace

void PostingSession::Impl::timedOut() {
  showProblemInbound("Timeout occurred with news server.");
  reconnectAllowed_ = true;
  // An article that went out whole or in part may be on the server: it is
  // asked for after the reconnection rather than dropped.
  if (isArticleInFlight(sessionState_) && !articleMayBeOnServer()) {
    endFileLine("Failed.", "Failed.  [Timeout]\r\n", partFailed({}, "Timeout"));
    ++articlesFailed_;
    services_.uploadList.removeHead();
  }
  RecoverFromError();
}

void PostingSession::Impl::RecoverFromError() {
  // A refusal that would end the run moves it to the next server instead.
  const std::string failover = std::exchange(failoverReason_, {});
  noteUnacknowledged();
  if (verifyRecovers()) {
    return;
  }
  if (fileLineOpen_) {
    endFileLine("Interrupted.", "Interrupted.\r\n", std::nullopt);  // the file is posted again, or listed as not posted
  }
  parallel_.reset();      // a run with several connections was stopped
  verify_.check.reset();  // a Stop while Verify asks
  setState(SessionState::Idle);
  ++generation_;  // steps still queued belong to the connection that failed
  lightsOff();
  display_.ShowState("Idle.");
  services_.loop.killTimer(target_, kReconnectTimer);
  retireLink(false);

  if (reconnectAllowed_) {
    ++reconnectCount_;
    if (reconnectCount_ > kMaxReconnects && canMoveServer()) {
      --reconnectCount_;  // no fourth reconnection: the next server is connected afresh
      moveToNextServer(unreachableText(kMaxReconnects));
    } else if (reconnectCount_ > kMaxReconnects) {
      display_.AddFileLine("Error Experienced.  Maximum Reconnects Failed.");
      log_.ReportWrite("Error Experienced.  Maximum Reconnects Failed.\r\n");
      failUnpostedFiles();
      endRun(RunOutcome::EndedWithoutFinishing, true);
    } else {
      display_.AddFileLine("Error Experienced.  Attempting Reconnection.");
      log_.ReportStamped("Error Experienced.  Attempting Reconnection.\r\n");
      setState(SessionState::OpenConnection);
      // OpenConnection's step comes after a wait that grows with each
      // reconnection, so a server that is restarting is not hammered.
      services_.loop.setTimer(target_, kReconnectTimer, kReconnectDelaysMs[reconnectCount_ - 1]);
    }
  } else if (runActive_ && (failover.empty() || !moveToNextServer(failover))) {
    endRun(RunOutcome::EndedWithoutFinishing, false);
  }
  resetButtons();  // a reconnection locks them again in OpenConnection
}

void PostingSession::Impl::AbortConnection() {
  inboundLight();
  outboundLight();
  retireLink(true);  // a look-up or a connection under way is cancelled
  reconnectAllowed_ = false;
  RecoverFromError();
}

void PostingSession::Impl::EndSession() {
  reconnectAllowed_ = false;
  const std::size_t server = servers_.position();
  AbortConnection();
  if (servers_.position() != server) {
    return;  // moved to the next server, which is being connected
  }
  RecoverFromError();
}

void PostingSession::Impl::endRun(RunOutcome outcome, bool offerReport) {
  runActive_ = false;
  outcome_ = outcome;
  postCounter_.flush();
  log_.keepReportOpen(false);
  yencSource_ = FileDescriptor();  // the file being posted is not held open between runs
  writeNzb();
  endRunRecord(outcome);
  endJournal(outcome);
  endRecovery();
  if (offerReport) {
    OfferReport();
  } else if (flags_.quitWhenDone) {
    // An unattended run must end with the program, however it ended.
    quitSoon();
  }
}

void PostingSession::Impl::OfferReport() {
  if (flags_.quitWhenDone) {
    quitSoon();
    return;
  }
  const PromptAnswer answer =
      services_.prompt.ask("Posting has finished.  Do you want to see a summary report?", "Posting Finished",
                           PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::Yes);
  if (answer == PromptAnswer::Yes) {
    LaunchViewer();
  }
}

void PostingSession::Impl::LaunchViewer() {
  const std::string viewer = services_.settings.read(Setting::Viewer);
  const int result = launchViewer(log_.reportFileName(), viewer);
  if (result > kViewerLaunched) {
    return;
  }
  char text[512];
  std::snprintf(text, sizeof text, "Unable to start NOTEPAD with file %s.  Code %d", log_.reportFileName().c_str(),
                -result);
  services_.prompt.ask(text, "Tidewell Error", PromptButtons::Ok, PromptIcon::Stop, PromptAnswer::Ok);
}

void PostingSession::Impl::quitSoon() {
  services_.loop.post(target_, kQuitMessage);
}

void PostingSession::Impl::post() {
  if (sessionState_ != SessionState::Idle || runActive_) {
    return;  // the Post button is disabled during a session
  }
  log_.RefreshLogging();
  reconnectAllowed_ = true;
  reconnectCount_ = 0;
  earlierReconnects_ = 0;
  setState(SessionState::Idle);
  display_.LockButtons();
  ++generation_;
  postStep();
}

void PostingSession::Impl::stopOrQuit() {
  if (sessionState_ == SessionState::Idle && !runActive_) {
    quitSoon();
    return;
  }
  reconnectAllowed_ = false;
  runActive_ = false;  // the user ended it: no automatic quit, no summary
  outcome_ = RunOutcome::EndedWithoutFinishing;
  RecoverFromError();
  resetButtons();
  log_.ReportWrite("\r\n");
  log_.ReportStamped("User Abort : STOP Button Pressed.\r\n");
  endRunRecord(outcome_);
  if (!flags_.quitWhenDone) {
    OfferReport();
  }
}

void PostingSession::Impl::settingsCommand() {
  log_.RefreshLogging();
}

}  // namespace tidewell
