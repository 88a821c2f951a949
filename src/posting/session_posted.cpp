// Parts already on the server: the record the session keeps of them
// (PostedParts), and how a file is taken up at its first part the server
// does not hold (docs/posting.md, "Parts already on the server").
#include <cstdio>

#include "platform/text.h"
#include "posting/session.h"
#include "upload/upload_list.h"

namespace tidewell {

bool PostingSession::Impl::skipPostedParts() {
  if (!skipToUnposted()) {
    return false;
  }
  setState(services_.uploadList.isEmpty() ? SessionState::Finish : SessionState::NextPart);
  postStep();
  return true;
}

bool PostingSession::Impl::skipToUnposted() {
  if (!posted_.hasAny(currentSourceName_)) {
    return false;
  }
  const std::int32_t next = posted_.nextUnposted(currentSourceName_, partIndex_, partCount_);
  reportFoundByStat(next);
  if (next == partIndex_ + 1) {
    return false;
  }
  if (next > partCount_) {
    // Every part left is on the server: the file is done, without a line
    // of its own (its parts had theirs when they were accepted).
    partIndex_ = partCount_;
    services_.uploadList.removeHead();
    return true;
  }
  partIndex_ = next - 1;  // the parts done
  if (yencFile_) {
    // The part before was not composed here: the part finds the CRC of
    // the file before it itself (and the last part the whole file's).
    yencCrcThrough_.reset();
  } else {
    encoded_.setEncodedPosition(plan_.partEnd(partIndex_, encoded_.getEncodedTotal()));
  }
  return false;
}

bool PostingSession::Impl::articleMayBeOnServer() const {
  return !messageId_.empty() && fileLineOpen_ &&
         (isStreaming(sessionState_) || sessionState_ == SessionState::AwaitAck);
}

void PostingSession::Impl::noteUnacknowledged() {
  if (articleMayBeOnServer()) {
    unacknowledged_ = DoubtedArticle{currentAccepted(), subjectLine_, {}};
  }
}

bool PostingSession::Impl::askAboutUnacknowledged() {
  if (!unacknowledged_) {
    return false;
  }
  // The article's file is still the head: a broken connection never ends it.
  const nodeClass* head = services_.uploadList.getHead();
  if (head == nullptr || head->getName().value_or("") != unacknowledged_->sourceName) {
    unacknowledged_.reset();
    return false;
  }
  display_.ShowState("Asking for the last article (STAT)...");
  ask(nntp::statCommand(unacknowledged_->messageId));
  return true;
}

void PostingSession::Impl::ask(std::string question) {
  pendingQuestion_ = std::move(question);
  link_->wake();
}

void PostingSession::Impl::onStatAnswer() {
  if (!resumeStats_.empty()) {
    onResumeStatAnswer();
    return;
  }
  const DoubtedArticle lost = unacknowledged_.value_or(DoubtedArticle{});
  if (!unacknowledged_) {
    // Nothing is waiting for the answer (never so: STAT goes out only for it).
  } else if (replyCode_ == 223) {
    // It was posted: its line says so as a 240's would, with the number
    // the file gets on this connection (stepNextPart, next).
    unacknowledged_.reset();
    posted_.markPosted(lost.sourceName, lost.part, lost.messageId);
    journalConfirmed(lost.sourceName, lost.part, lost.bytes, lost.messageId);
    partIndex_ = lost.part;
    partCount_ = lost.partCount;
    char number[16];
    std::snprintf(number, sizeof number, "%03d ", fileNumber_ + 1);
    const std::string fileLine = number + currentName_ + " ... ";
    display_.AddFileLine(fileLine);
    log_.ReportStamped(fileLine);
    fileLineOpen_ = true;
    display_.ShowState("Article Accepted.");
    ++articlesOk_;
    const std::string ack = "Ok. (" + std::to_string(lost.part) + "/" + std::to_string(lost.partCount) +
                            " - found on the server by STAT)" + servers_.mark();
    PartRecord part = partOk(replyBuffer_);
    part.messageId = lost.messageId;
    endFileLine(ack, ack, std::move(part));
    log_.ReportWrite("\r\n         ");
    log_.ReportWrite(lost.subjectLine);
    if (nzb_ && nzbSourceName_ == lost.sourceName) {
      static_cast<void>(nzb_->addSegment(nzbFile_, lost.part, lost.bytes, lost.messageId));
    }
    partIndex_ = 0;
    partCount_ = 0;
  } else if (replyCode_ != 430) {
    // 430: not there, posted again. Anything else: the server would not say.
    log_.ReportStamped("The server would not answer STAT (" + trimmed(replyBuffer_) + "): " + lost.messageId +
                       " is posted again and may now be on the server twice.\r\n");
  }
  setState(services_.uploadList.isEmpty() ? SessionState::Finish : SessionState::NextPart);
  postStep();
}

std::string PostingSession::Impl::unacknowledgedIdFor(std::int32_t part) {
  resendingLost_ =
      unacknowledged_ && unacknowledged_->sourceName == currentSourceName_ && unacknowledged_->part == part;
  if (!resendingLost_) {
    return {};
  }
  std::string id = std::move(unacknowledged_->messageId);
  unacknowledged_.reset();
  return id;
}

bool PostingSession::Impl::isDuplicateRefusal() const {
  return !messageId_.empty() && nntp::refusedAsDuplicate(replyCode_, replyBuffer_);
}

}  // namespace tidewell
