// Step(): one handler per state, and the states of starting a session and
// of the command dialogue with the server.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/socket_manager.h"
#include "platform/instance_lock.h"
#include "platform/user_prompt.h"
#include "posting/session.h"
#include "settings/settings_store.h"
#include "settings/unchecked_tls.h"
#include "upload/upload_list.h"
#include "upload/upload_scan.h"

namespace tidewell {

// The states the session steps through itself; the dialogue's states
// follow the link (onLinkState) and wait for its events.
void PostingSession::Impl::Step() {
  switch (sessionState_) {
    case SessionState::Idle:
      stepIdle();
      break;
    case SessionState::OpenConnection:
      stepOpenConnection();
      break;
    case SessionState::NextPart:
      stepNextPart();
      break;
    case SessionState::SendPost:
      stepSendPost();
      break;
    case SessionState::StartPosting:
      stepStartPosting();
      break;
    case SessionState::Finish:
      stepFinish();
      break;
    case SessionState::VerifyWait:
      stepVerifyWait();
      break;
    default:
      break;
  }
}

void PostingSession::Impl::stepIdle() {
  runActive_ = true;
  display_.LockButtons();
  display_.ClearFileLines();
  if (!openRunReport()) {
    return;
  }
  if (!readArticleFormat()) {
    return;
  }
  fast_ = services_.settings.flag(Setting::FastPosting);
  // Fast posting composes every article in memory for a link to take over.
  article_.useMemory(fast_);
  readConnections();
  readVerifySettings();
  display_.ShowState("Building upload list...");
  articlesFailed_ = 0;
  articlesOk_ = 0;
  if (!listUploads()) {
    resetButtons();
    endRun(RunOutcome::EndedWithoutFinishing, false);
    return;
  }
  recordListedFiles();
  partSizeSetting_ = services_.settings.getPartSize();
  articleSettings_.reset();
  log_.keepReportOpen(fast_);
  postCounter_.batch(fast_);
  startRateCap();
  startRecovery();
  if (resumeOn_) {
    startResume();
    adoptResumedSet();
  }
  if (encryptedWithUncheckedCertificate(services_.settings)) {
    log_.ReportStamped(std::string(kUncheckedTlsWarning) + "\r\n");
    display_.showWarning(kUncheckedTlsWarning);
  }
  servers_.start(backupServerChoices(services_.settings));
  setState(SessionState::OpenConnection);
  postStep();
}

bool PostingSession::Impl::openRunReport() {
  const ReportOpening report = log_.OpenNewReport();
  if (!report.message.empty()) {
    services_.prompt.notify(report.message, "Tidewell Error",
                            report.opened ? PromptIcon::Exclamation : PromptIcon::Stop);
  }
  if (!report.opened) {
    resetButtons();
    endRun(RunOutcome::EndedWithoutFinishing, false);
    return false;
  }
  startRunRecord();
  std::string heading = "Tidewell ";
  heading += kVersionText;
  heading += "\r\nWinsock Detected is ";
  heading += winsockDescription();
  heading += "\r\nUsing Config File ";
  heading += services_.settings.configFilePath();
  heading += "\r\n\r\n";
  log_.ReportWrite(heading);
  // With Resume the "Resumed:" line comes first, once the list is known.
  resumeOn_ = services_.settings.flag(Setting::Resume);
  if (!resumeOn_) {
    log_.ReportStamped("Starting Posting Session\r\n");
    log_.ReportStamped("Building upload list...\r\n");
  }
  return true;
}

bool PostingSession::Impl::listUploads() {
  services_.uploadList.clear();
  const std::string directory = services_.settings.getDirectory();
  struct stat info {};
  if (!directory.empty() && (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))) {
    // A mistyped folder must not pass for an empty one: say so and end.
    const std::string text = "Directory " + directory + " not found.  Not posting.";
    showProblemOutbound(text);
    log_.ReportStamped(text + "\r\n");
    services_.prompt.ask(text, "Tidewell Error", PromptButtons::Ok, PromptIcon::Stop, PromptAnswer::Ok);
    return false;
  }
  // The program's own files are never posted, even from the working directory.
  std::vector<std::string> ownFiles{services_.settings.configFilePath(), std::string(kLogFileName), encoded_.path(),
                                    article_.path(), defaultInstanceLockPath()};
  if (resumeOn_) {
    ownFiles.push_back(journalPath());
  }
  const int built = buildUploadList(services_.uploadList, directory, services_.settings, services_.prompt, ownFiles);
  if (built == kScanWarnings) {
    return services_.prompt.ask("Non-Fatal error encountered. Continue?", "Tidewell Error", PromptButtons::YesNo,
                                PromptIcon::Question, PromptAnswer::Yes) != PromptAnswer::No;
  }
  if (built == kScanFatal) {
    services_.prompt.ask("Fatal error encountered. Not posting.", "Tidewell Error", PromptButtons::Ok, PromptIcon::Stop,
                         PromptAnswer::Ok);
    return false;
  }
  return true;
}

void PostingSession::Impl::stepOpenConnection() {
  display_.LockButtons();
  log_.ReportStamped("Generating Estimates...\r\n");
  std::int64_t sourceBytes = 0;
  for (const nodeClass& entry : services_.uploadList) {
    if (entry.getName()) {
      const std::string path = sourcePath(*entry.getName());
      sourceBytes += path.empty() ? 0 : fileSizeOf(path);
    }
  }
  progress_.ResetEstimates(sourceBytes, now(), yencOn_);
  StartConnection(currentServer());
  fileNumber_ = 0;
  log_.ReportStamped("Connecting to the news server..\r\n");
}

void PostingSession::Impl::refuseDialogue(std::string_view shown, std::string_view reported) {
  showProblemOutbound(shown);
  log_.ReportStamped(reported);
  failoverReason_ = replyAsReason(replyBuffer_.empty() ? reported : replyBuffer_);
  EndSession();
}

void PostingSession::Impl::refuseLogin(nntp::LoginStep step) {
  constexpr std::string_view kShown[] = {
      "\rError - You have no permission\rto talk to this server.",
      "\rError - The server would not start TLS.\rUnable to talk to this server.",
      "Error - Could not supply username.\rUnable to talk to this server.",
      "Error - User/Password incorrect.\rUnable to talk to this server.",
      "Error - Could not set READER mode.\rUnable to talk to this server.",
  };
  // Where the words hold the server's line, it is shown as it came.
  refuseDialogue(
      (nntp::refusalHoldsReply(step) ? replyBuffer_ : std::string()) + std::string(kShown[static_cast<int>(step)]),
      nntp::loginRefusal(step, replyBuffer_) + (step == nntp::LoginStep::StartTls ? "" : "\r\n"));
}

}  // namespace tidewell
