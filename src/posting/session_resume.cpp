// Resume (Resume=TRUE): the run journal is written as the run goes, and a
// run started again after a crash posts only what the journal does not
// hold (docs/posting.md, "Resume").
#include <algorithm>
#include <cstdio>

#include "platform/text.h"
#include "platform/user_prompt.h"
#include "posting/article_text.h"
#include "posting/session.h"
#include "settings/settings_store.h"
#include "upload/encoder.h"
#include "upload/journal_path.h"
#include "upload/part_checksum.h"
#include "upload/spool_files.h"
#include "upload/upload_list.h"
#include "upload/upload_scan.h"

namespace tidewell {

namespace {
constexpr std::string_view kResumeCaption = "Tidewell Resume";

// Whether the journal holds anything of the upload: an article accepted or
// one that may have been.
bool hasWork(const JournalContents& journal) {
  for (const JournalFile& file : journal.files) {
    if (!file.accepted.empty() || !file.inFlight.empty()) {
      return true;
    }
  }
  return false;
}
}  // namespace

std::string PostingSession::Impl::journalPath() const {
  return resolveJournalPath(services_.settings.configFilePath());
}

std::int32_t PostingSession::Impl::plannedArticles(const std::string& name, const JournalFile* known) {
  if (known != nullptr && known->partCount > 0) {
    return known->partCount;
  }
  const std::string path = sourcePath(name);
  if (path.empty()) {
    return 0;
  }
  if (yencOn_) {
    return planYencParts(fileSizeOf(path), partSizeSetting_).partCount;
  }
  // A uuencoded or text file is cut after encoding: encode it once to
  // count (its posting encodes it again into the same spool).
  if (encodeFile(services_.settings.getDirectory(), name, std::string(kEncodedFileName)) != kEncodeOk) {
    return 0;
  }
  return planParts(fileSizeOf(std::string(kEncodedFileName)), partSizeSetting_).partCount;
}

void PostingSession::Impl::startResume() {
  openJournal();
  log_.ReportStamped("Starting Posting Session\r\n");
  log_.ReportStamped("Building upload list...\r\n");
  if (!messageIdsOn_) {
    // Whether an article of a cut-short run reached the server can only be
    // asked by its Message-ID.
    messageIdsOn_ = true;
    log_.ReportStamped("Resume gives each article its own Message-ID.\r\n");
  }
  if (!journal_.isOpen()) {
    log_.ReportStamped("The journal " + journalPath() + " cannot be written: this run cannot be resumed.\r\n");
  }
}

void PostingSession::Impl::openJournal() {
  resumedFiles_.clear();
  resumeStats_.clear();
  const std::string path = journalPath();
  const JournalOpening opening = journal_.open(path);
  if (!opening.refusal.empty()) {
    reportJournalLine(untrustedJournalText(path, opening.refusal));
  }
  const std::optional<JournalContents>& journal = opening.contents;
  const JournalSettings current = journalSettings(services_.settings);
  if (journal && journal->matches(current) && hasWork(*journal)) {
    std::vector<std::string> notes;  // files posted again whole, and why
    const ResumableCount count = countResumable(*journal, notes);
    const std::string question = "A run of this upload was cut short: " + std::to_string(count.held) + " of " +
                                 std::to_string(count.total) + " articles were posted.  Resume it?";
    const PromptAnswer answer =
        services_.prompt.ask(question, kResumeCaption, PromptButtons::YesNo, PromptIcon::Question, PromptAnswer::Yes);
    if (answer == PromptAnswer::Yes && !journal_.resume()) {
      reportJournalLine(
          untrustedJournalText(path, "it cannot be opened for appending (" + writeErrorText(errno) + ")"));
    } else if (answer == PromptAnswer::Yes) {
      takeUpResumedFiles();
      reportJournalLine("Resumed: " + std::to_string(count.held) + " of " + std::to_string(count.total) +
                        " articles were already posted.");
      for (const std::string& note : notes) {
        reportJournalLine(note);
      }
      recordEarlierParts();
      adoptDisguise(*journal);
      return;
    }
    resumedFiles_.clear();
  }
  if (journal_.create(path, current) && disguise_ &&
      !journal_.noteDisguise(disguise_->from(), disguise_->messageIdDomain())) {
    journalFailed();
  }
}

void PostingSession::Impl::reportJournalLine(const std::string& line) {
  log_.ReportWrite(line + "\r\n");
  display_.AddFileLine(line);
}

PostingSession::Impl::ResumableCount PostingSession::Impl::countResumable(const JournalContents& journal,
                                                                          std::vector<std::string>& notes) {
  ResumableCount count;
  for (const nodeClass& entry : services_.uploadList) {
    const std::string name = entry.getName().value_or("");
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    const JournalFile* known = fileStamp(sourcePath(name), size, mtime) ? journal.findFile(name, size, mtime) : nullptr;
    if (known != nullptr) {
      const PostedPartsCheck check =
          checkPostedParts(recoveryDirectory(name), *known, yencOn_, partSizeSetting_, encoded_.path());
      if (check != PostedPartsCheck::Same) {
        notes.push_back(postedAgainText(headerSafeText(name, '_'), check));
        known = nullptr;
      }
    }
    const std::int32_t parts = plannedArticles(name, known);
    count.total += parts;
    if (known != nullptr) {
      for (const auto& [part, posted] : known->accepted) {
        count.held += part <= parts ? 1 : 0;
      }
      resumedFiles_.push_back(*known);
    }
  }
  return count;
}

void PostingSession::Impl::takeUpResumedFiles() {
  for (const JournalFile& file : resumedFiles_) {
    for (const auto& [part, posted] : file.accepted) {
      posted_.markPosted(file.name, part, posted.messageId);
    }
    for (const auto& [part, sent] : file.inFlight) {
      if (part <= file.partCount) {
        DoubtedArticle& stat = resumeStats_.emplace_back();
        stat.sourceName = file.name;
        stat.part = part;
        stat.bytes = sent.bytes;
        stat.messageId = sent.messageId;
      }
    }
  }
}

void PostingSession::Impl::adoptDisguise(const JournalContents& journal) {
  if (!disguise_ || journal.disguisedFrom.empty()) {
    return;
  }
  // The ids keep the earlier run's random domain unless one is set.
  const bool randomDomain = messageIdDomain_ == disguise_->messageIdDomain();
  disguise_->adopt(journal.disguisedFrom, journal.disguisedIdDomain);
  if (randomDomain && !journal.disguisedIdDomain.empty()) {
    messageIdDomain_ = journal.disguisedIdDomain;
  }
  // The files resumed keep their names; the others are posted whole and
  // get new ones.
  for (const JournalFile& file : resumedFiles_) {
    if (!file.disguisedName.empty()) {
      disguise_->keepName(file.name, file.disguisedName);
      namesInJournal_.insert(file.name);
    }
  }
}

void PostingSession::Impl::recordEarlierParts() {
  for (const JournalFile& known : resumedFiles_) {
    FileRecord* file = record_.findFile(known.name);
    if (file == nullptr) {
      continue;
    }
    file->partCount = known.partCount;
    for (const auto& [part, posted] : known.accepted) {
      if (part <= known.partCount) {
        PartRecord earlier = partOk({});
        earlier.number = part;
        earlier.bytes = posted.bytes;
        earlier.messageId = posted.messageId;
        earlier.earlierRun = true;
        file->parts.push_back(std::move(earlier));
      }
    }
  }
}

// A part in flight when the resumed run was cut short, found on the server
// by STAT, gets its "Ok." line as its turn in the list comes and counts
// once, as it does with several connections.
void PostingSession::Impl::reportFoundByStat(std::int32_t next) {
  for (std::int32_t part = partIndex_ + 1; part < next && part <= partCount_; ++part) {
    const auto found = std::find_if(foundByStat_.begin(), foundByStat_.end(), [&](const DoubtedArticle& stat) {
      return stat.sourceName == currentSourceName_ && stat.part == part;
    });
    if (found == foundByStat_.end()) {
      continue;
    }
    openFileLine();
    const std::string ack = formatText("Ok. (%d/%d - found on the server by STAT)", part, partCount_);
    PartRecord record = partOk(found->reply);
    record.number = part;
    record.bytes = found->bytes;
    record.messageId = found->messageId;
    endFileLine(ack, ack, std::move(record));
    log_.ReportWrite("\r\n");
    ++articlesOk_;
    foundByStat_.erase(found);
  }
}

const JournalFile* PostingSession::Impl::resumedFile(std::string_view name) const {
  for (const JournalFile& file : resumedFiles_) {
    if (file.name == name) {
      return &file;
    }
  }
  return nullptr;
}

void PostingSession::Impl::journalFileStart() {
  std::int64_t size = 0;
  std::int64_t mtime = 0;
  const bool stamped = fileStamp(sourcePath(currentSourceName_), size, mtime);
  if (const JournalFile* known = resumedFile(currentSourceName_)) {
    if (!stamped || known->size != size || known->mtimeNs != mtime) {
      // Changed since the run began: none of its parts counts as posted.
      posted_.forget(currentSourceName_);
      std::erase_if(resumeStats_, [this](const DoubtedArticle& stat) { return stat.sourceName == currentSourceName_; });
      if (FileRecord* file = record_.findFile(currentSourceName_)) {
        std::erase_if(file->parts, [](const PartRecord& part) { return part.earlierRun; });
      }
      resumedFiles_.erase(resumedFiles_.begin() + (known - resumedFiles_.data()));
      // Its new journal entry takes its name again.
      namesInJournal_.erase(currentSourceName_);
    } else if (nzb_ && !known->accepted.empty() && nzbSourceName_ != currentSourceName_) {
      // The NZB takes the journal's articles as the file comes up, so it
      // keeps the list's order; its parts posted now join the same entry.
      nzbFile_ = nzb_->addFile(known->subject, nzbPoster(), known->date, nzbGroups(), known->partCount);
      nzbSourceName_ = currentSourceName_;
      for (const auto& [part, posted] : known->accepted) {
        static_cast<void>(nzb_->addSegment(nzbFile_, part, posted.bytes, posted.messageId));
      }
    }
    if (resumedFile(currentSourceName_) != nullptr) {
      // Verify asks for the articles the earlier run posted too: the NZB
      // lists them, so the server must still hold them.
      for (const auto& [part, posted] : known->accepted) {
        noteVerifyAccepted(AcceptedArticle{currentSourceName_, currentName_, currentDescription_, fileNumber_, part,
                                           partCount_, posted.bytes, posted.messageId,
                                           nzb_ && nzbSourceName_ == currentSourceName_, nzbFile_});
      }
    }
  }
  if (!journal_.isOpen() || !stamped) {
    return;
  }
  if (!journal_.startFile(currentSourceName_, size, mtime, partCount_)) {
    journalFailed();
  }
}

void PostingSession::Impl::journalConfirmed(const std::string& sourceName, std::int32_t part, std::int64_t bytes,
                                            const std::string& messageId) {
  if (resumeOn_ && journal_.isOpen() && !journal_.noteAccepted(sourceName, part, bytes, messageId)) {
    journalFailed();
  }
}

bool PostingSession::Impl::askAboutResumed() {
  if (resumeStats_.empty()) {
    return false;
  }
  display_.ShowState("Asking for the last article of the run resumed (STAT)...");
  ask(nntp::statCommand(resumeStats_.front().messageId));
  return true;
}

std::string PostingSession::Impl::resumedIdFor(const std::string& sourceName, std::int32_t part) {
  for (auto stat = resumeStats_.begin(); stat != resumeStats_.end(); ++stat) {
    if (stat->sourceName == sourceName && stat->part == part) {
      std::string id = std::move(stat->messageId);
      resumeStats_.erase(stat);
      return id;
    }
  }
  return {};
}

void PostingSession::Impl::onResumeStatAnswer() {
  const DoubtedArticle asked = resumeStats_.front();
  resumeStats_.erase(resumeStats_.begin());
  const std::string name = headerSafeText(toLowerAscii(asked.sourceName).substr(0, kNameLimit), '_');
  const std::string which = "part " + std::to_string(asked.part) + " of " + name + " (" + asked.messageId + ")";
  if (replyCode_ == 223) {
    posted_.markPosted(asked.sourceName, asked.part, asked.messageId);
    journalConfirmed(asked.sourceName, asked.part, asked.bytes, asked.messageId);
    for (JournalFile& file : resumedFiles_) {
      if (file.name == asked.sourceName) {
        file.accepted[asked.part] = JournalPart{asked.bytes, asked.messageId, {}};  // for the NZB
      }
    }
    log_.ReportStamped("Resumed: " + which + " found on the server by STAT.\r\n");
    foundByStat_.push_back(asked);
    foundByStat_.back().reply = replyBuffer_;
  } else if (replyCode_ == 430) {
    log_.ReportStamped("Resumed: " + which + " is not on the server: posted again.\r\n");
  } else {
    log_.ReportStamped("The server would not answer STAT (" + trimmed(replyBuffer_) + "): " + which +
                       " is posted again and may now be on the server twice.\r\n");
  }
  setState(SessionState::StartPosting);
  postStep();
}

void PostingSession::Impl::journalComposed(std::optional<std::uint32_t> yencPartCrc) {
  // A journal left open by a run the user stopped is not this run's.
  if (!resumeOn_ || !journal_.isOpen() || messageId_.empty()) {
    return;
  }
  if (partIndex_ == 1) {
    if (!journal_.noteSubject(currentSourceName_, nzbSubject(), now())) {
      journalFailed();
      return;
    }
  }
  // The file's disguised name goes in with its first article composed.
  if (disguise_ && yencFile_ && namesInJournal_.insert(currentSourceName_).second) {
    if (!journal_.noteDisguisedName(currentSourceName_, disguisedName_)) {
      journalFailed();
      return;
    }
  }
  // The sum of what the part carries, so a resumed run can tell the file
  // is unchanged: yEnc has it from the encoding, the others read it.
  const std::optional<std::uint32_t> sum =
      yencPartCrc ? yencPartCrc
                  : PartSums(partSourceOf(currentSourceName_, yencFile_), sourcePath(currentSourceName_),
                             encoded_.path(), partSizeSetting_, partCount_)
                        .sumOf(partIndex_);
  if (!journal_.noteInFlight(currentSourceName_, partIndex_, article_.getArticleTotal(), messageId_, sum)) {
    journalFailed();
  }
}

void PostingSession::Impl::journalAccepted(const AcceptedArticle& accepted) {
  if (resumeOn_ && journal_.isOpen() && !accepted.messageId.empty() &&
      !journal_.noteAccepted(accepted.sourceName, accepted.part, accepted.bytes, accepted.messageId)) {
    journalFailed();
  }
}

void PostingSession::Impl::journalFailed() {
  log_.ReportStamped("The journal " + journal_.path() + " cannot be written (" + writeErrorText(errno) +
                     "): this run cannot be resumed.\r\n");
}

void PostingSession::Impl::endJournal(RunOutcome outcome) {
  // Every file posted: the next run starts afresh. Otherwise the journal
  // stays for the run that resumes it.
  if (resumeOn_ && outcome == RunOutcome::Finished && journal_.isOpen()) {
    static_cast<void>(journal_.finish());
  }
  journal_.close();
  resumedFiles_.clear();
  resumeStats_.clear();
  foundByStat_.clear();
}

}  // namespace tidewell
