// The article loop: each part of each file is posted, streamed and
// acknowledged in turn; the summary at the end of the list.
#include <cstdio>

#include "platform/file_io.h"
#include "platform/text.h"
#include "posting/article.h"
#include "posting/article_text.h"
#include "posting/session.h"
#include "settings/settings_store.h"
#include "upload/encoder.h"
#include "upload/spool_files.h"
#include "upload/upload_list.h"
#include "upload/upload_scan.h"

namespace tidewell {

void PostingSession::Impl::stepStartPosting() {
  partCount_ = 0;
  partIndex_ = 0;
  if (askAboutResumed() || askAboutUnacknowledged()) {
    return;
  }
  setState(services_.uploadList.isEmpty() ? SessionState::Finish : SessionState::NextPart);
  postStep();
}

void PostingSession::Impl::stepNextPart() {
  const nodeClass* head = recoveryHead(services_.uploadList.getHead());
  if (head == nullptr) {
    setState(SessionState::Finish);
    postStep();
    return;
  }
  const std::string path = takeUpFile(*head);
  const bool newFile = partIndex_ == partCount_;
  lastPercent_ = 0;

  if (newFile) {
    ++fileNumber_;
    recordFileStart();
  }
  // A file some of whose parts are on the server gets its line once the
  // part to post is known.
  if (!posted_.hasAny(currentSourceName_)) {
    openFileLine();
  }

  if (newFile) {
    std::string problem;
    const FileOpening opening = openNewFile(path, problem);
    if (opening != FileOpening::Ready) {
      openFileLine();
      showOpeningProblem(opening, problem);
      if (opening == FileOpening::CantReadBack) {
        failFile(problem);
      } else {
        failFile("Can't encode");
        log_.ReportStamped(problem);
        log_.ReportWrite("\r\n");
      }
      // A file that vanished or cannot be read fails alone; a spool that
      // cannot be written (a full disk) fails every file after it too, so
      // the run ends there, with its summary.
      setState(opening == FileOpening::SpoolFailed ? SessionState::Finish : SessionState::NextPart);
      postStep();
      return;
    }
  }
  if (newFile && resumeOn_) {
    journalFileStart();
  }
  if (skipPostedParts()) {
    return;
  }
  openFileLine();
  ++partIndex_;
  setState(SessionState::SendPost);
  postStep();
}

std::string PostingSession::Impl::takeUpFile(const nodeClass& head) {
  currentSourceName_ = head.getName().value_or("");
  // The name as texts show it: lower-cased (unless another listed file has
  // the same lower-cased name), and with any control character
  // made harmless, so a strange file name cannot break a report line.
  currentName_ = headerSafeText(head.textName().substr(0, kNameLimit), '_');
  currentDescription_ = trimmed(head.getDescription().value_or("")).substr(0, kNameLimit);
  std::string path = sourcePath(currentSourceName_);
  sourceFileSize_ = path.empty() ? 0 : fileSizeOf(path);
  return path;
}

std::string PostingSession::Impl::compositionProblem() const {
  const int error = article_.writeError();
  return error != 0 ? "Error writing the article: " + writeErrorText(error) + "." : "Error reading UUE file.";
}

PostingSession::Impl::FileOpening PostingSession::Impl::openNewFile(const std::string& path, std::string& problem) {
  // With yEnc every file is yEnc-encoded, text files too: a downloader
  // decodes each file from its yEnc parts alone.
  yencFile_ = yencOn_;
  if (fast_) {
    articleSettings_ = readArticleSettings(services_.settings);
  }
  openRecoveryData();
  if (yencFile_) {
    // yEnc parts are encoded from the source file as each article is
    // composed: the plan cuts the file's own bytes.
    if (!openYencFile(path)) {
      problem = formatText("Error - Can't encode %s [%d].", currentName_.c_str(), kEncodeSourceFailed);
      return FileOpening::CantEncode;
    }
    partCount_ = yencPlan_.partCount;
    partIndex_ = 0;
    return FileOpening::Ready;
  }
  display_.ShowState(formatText("Encoding file %s...", currentName_.c_str()));
  // The recovery set's files are read from its folder.
  const bool setFile = recovery_ && recovery_->pathOf(currentSourceName_);
  // The set takes the data file's bytes as the encoder reads them, so the
  // file is read once for both.
  SourceTap tap;
  if (recovery_ && !recovery_->finished() && !setFile) {
    tap = [run = recovery_.get()](std::int64_t offset, const unsigned char* data, std::size_t size) {
      run->sourceBytes(offset, data, size);
    };
  }
  const int encoded = encodeFile(setFile ? recoveryFolder_ : services_.settings.getDirectory(), currentSourceName_,
                                 std::string(kEncodedFileName), tap);
  if (encoded != kEncodeOk) {
    problem = formatText("Error - Can't encode %s [%d].", currentName_.c_str(), encoded);
    return encoded == kEncodeOutputFailed ? FileOpening::SpoolFailed : FileOpening::CantEncode;
  }
  const std::int64_t encodedSize = fileSizeOf(std::string(kEncodedFileName));
  if (encodedSize <= 0) {
    // The encoded text cannot be read back: posting would send an article
    // without the file's data.
    problem = "Error reading UUE file.";
    return FileOpening::CantReadBack;
  }
  encoded_.setEncodedTotal(encodedSize);
  encoded_.setEncodedPosition(0);
  plan_ = planParts(encodedSize, partSizeSetting_);
  partCount_ = plan_.partCount;
  partIndex_ = 0;
  return FileOpening::Ready;
}

void PostingSession::Impl::showOpeningProblem(FileOpening opening, const std::string& problem) {
  if (opening == FileOpening::CantReadBack) {
    showProblemInbound(problem);
  } else {
    showProblemOutbound(problem);
  }
}

void PostingSession::Impl::openFileLine() {
  if (fileLineOpen_) {
    return;
  }
  const std::string fileLine = formatText("%03d %s ... ", fileNumber_, currentName_.c_str());
  display_.AddFileLine(fileLine);
  log_.ReportStamped(fileLine);
  fileLineOpen_ = true;
}

// The part goes to the link uncomposed: composeArticle makes it once the
// server has asked for it.
void PostingSession::Impl::stepSendPost() {
  display_.showTip();
  display_.ShowState("Initiating article post...");
  display_.ShowTimeRate("");
  pendingArticle_ = std::make_shared<LinkArticle>();
  link_->wake();
}

void PostingSession::Impl::endFileLine(std::string_view shown, std::string_view reported,
                                       std::optional<PartRecord> part) {
  display_.AppendToFileLine(shown);
  log_.ReportWrite(reported);
  recordPartEnd(std::move(part));
  fileLineOpen_ = false;
}

void PostingSession::Impl::failFile(std::string_view reason) {
  endFileLine("Failed.", "Failed.  [" + std::string(reason) + "]\r\n", partFailed({}, reason));
  ++articlesFailed_;
  services_.uploadList.removeHead();
}

void PostingSession::Impl::failUnpostedFiles() {
  for (const nodeClass* head = services_.uploadList.getHead(); head != nullptr; head = services_.uploadList.getHead()) {
    const std::string name = head->getName().value_or("");
    // The head keeps the number its part lines had on this connection.
    if (fileNumber_ == 0 || name != currentSourceName_) {
      ++fileNumber_;
    }
    currentSourceName_.clear();
    const std::string safeName = headerSafeText(toLowerAscii(name).substr(0, kNameLimit), '_');
    const std::string fileLine = formatText("%03d %s ... ", fileNumber_, safeName.c_str());
    display_.AddFileLine(fileLine);
    log_.ReportStamped(fileLine);
    failFile("Not posted");
  }
}

void PostingSession::Impl::failArticle(std::string_view shown, std::string_view reason) {
  showProblemInbound(shown);
  reconnectAllowed_ = true;
  endFileLine("Failed.", "Failed.  [" + std::string(reason) + "]\r\n", partFailed({}, reason));
  ++articlesFailed_;
  services_.uploadList.removeHead();
  RecoverFromError();
}

void PostingSession::Impl::refusePost() {
  if (canMoveServer()) {
    // The part goes to the next server, as after a reconnection.
    showProblemOutbound("Error - Server not accepting POST\rcommand [Code 1].\r\rMoving to the next server.");
    failoverReason_ = replyAsReason(replyBuffer_);
    EndSession();
    return;
  }
  showProblemOutbound("Error - Server not accepting POST\rcommand [Code 1].\r\rUnable to post to this server.");
  endFileLine("Failed.", "Failed. [Server not accepting POST]\r\n",
              partFailed(replyBuffer_, "Server not accepting POST"));
  ++articlesFailed_;
  services_.uploadList.removeHead();
  EndSession();
}

bool PostingSession::Impl::composeArticle(LinkArticle& held) {
  display_.ShowState("Posting article... (Preparing)");
  display_.ShowInboundInfo("Server Receiving Article.");
  ArticlePart part{currentName_, currentDescription_, partIndex_, plan_, sourceFileSize_, nullptr, {}};
  std::optional<YencArticle> yenc;
  if (!prepareArticle(part, yenc)) {
    failArticle("Error - Cannot make a Message-ID.\r\rCommunication terminated.", "Cannot make a Message-ID");
    return false;
  }
  const ArticleServices services{services_.settings, encoded_,      article_,
                                 display_,           &postCounter_, articleSettingsRead()};
  if (!ComposeArticle(part, services, subjectLine_)) {
    const std::string problem = compositionProblem();
    failArticle(problem + "\r\rCommunication terminated.", problem);
    return false;
  }
  noteComposed(yenc);
  display_.ShowState("Posting article... ");
  held.messageId = messageId_;
  held.wire.readFrom(article_);
  return true;
}

void PostingSession::Impl::showStreamingProgress(std::int64_t sent, std::int64_t total) {
  const std::int64_t percent = total > 0 ? sent * 100 / total : 0;
  if (percent != lastPercent_) {
    display_.ShowState(formatText("Posted %lld of %lld (%lld%%)", static_cast<long long>(sent),
                                  static_cast<long long>(total), static_cast<long long>(percent)));
    display_.ShowTimeRate(streamingTimeRateText(now() - articleStart_, sent, total, rateCap_.bytesPerSecond()));
    updateElapsed();
  }
  lastPercent_ = percent;
}

void PostingSession::Impl::onAcknowledgement() {
  if (replyCode_ == 240 || duplicateOfUnacknowledged()) {
    display_.ShowState("Article Accepted.");
    ++articlesOk_;
    const std::string ack =
        (replyCode_ == 240
             ? acknowledgementText(partIndex_, partCount_, (now() - articleStart_) * 1000, article_.getArticleTotal())
             : formatText("Ok. (%d/%d - already on the server: %s)", partIndex_, partCount_,
                          trimmed(replyBuffer_).c_str())) +
        servers_.mark();
    endFileLine(ack, ack, partOk(replyBuffer_));
    log_.ReportWrite("\r\n         ");
    log_.ReportWrite(subjectLine_);
    noteAccepted(currentAccepted());
    updateElapsed();
  } else {
    showProblemOutbound("POST failed.  Message:\r\r" + replyBuffer_);
    display_.AppendToFileLine("Failed. ");
    endFileLine(
        replyBuffer_, refusalText(),
        partFailed(replyBuffer_, isDuplicateRefusal() ? "Message-ID " + messageId_ + " exists on the server" : ""));
    ++articlesFailed_;
  }
  if (partIndex_ == partCount_) {
    services_.uploadList.removeHead();
  }
  setState(services_.uploadList.isEmpty() ? SessionState::Finish : SessionState::NextPart);
  postStep();
}

void PostingSession::Impl::stepFinish() {
  reconnectAllowed_ = false;
  failUnpostedFiles();  // files left when the spool could not be written
  if (verifyBeforeSummary()) {
    return;
  }
  // The run ends here with its summary; the recovery below must not count
  // it as a run that ended early.
  runActive_ = false;
  outcome_ = articlesFailed_ == 0 ? RunOutcome::Finished : RunOutcome::FinishedWithFailures;
  AbortConnection();
  RecoverFromError();
  display_.ShowState("Finished.");
  log_.ReportWrite("\r\n");
  log_.ReportStamped("Posting Finished.\r\n\r\n");
  const Hms& elapsed = progress_.elapsed();
  std::string summary = formatText("Total Articles     : %d\r\n", articlesFailed_ + articlesOk_);
  summary += formatText("Articles Ok        : %d\r\n", articlesOk_);
  summary += formatText("Articles Failed    : %d\r\n", articlesFailed_);
  summary += formatText("Server Reconnects  : %d\r\n", reconnectCount_ + earlierReconnects_);
  summary += formatText("Total Posting Time : %02lld:%02lld:%02lld\r\n", static_cast<long long>(elapsed.hours),
                        static_cast<long long>(elapsed.minutes), static_cast<long long>(elapsed.seconds));
  log_.ReportWrite(summary);
  endRun(outcome_, true);
}

}  // namespace tidewell
