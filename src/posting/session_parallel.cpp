// Fast posting (FastPosting=TRUE, Connections=N, one or more): the list's
// articles are composed in order with the session's own composition, at
// most N+1 of them held in memory, and posted by a pool of links; their
// outcomes are written in list order, so the panel, the report, the run
// record and the NZB read as they would after the default mode's one
// connection.
#include "posting/session_parallel.h"

#include <algorithm>
#include <cstdio>

#include "platform/file_io.h"
#include "platform/text.h"
#include "posting/article_text.h"
#include "posting/session.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"
#include "upload/encoder.h"
#include "upload/spool_files.h"
#include "upload/upload_list.h"
#include "upload/upload_scan.h"

namespace tidewell {

namespace {

constexpr std::uint32_t kComposeMessage = 6201;
constexpr std::uint32_t kEndMessage = 6202;

std::string connectionsText(int count) {
  return std::to_string(count) + (count == 1 ? " connection" : " connections");
}

}  // namespace

void PostingSession::Impl::readConnections() {
  parallel_.reset();
  const auto count =
      static_cast<std::int32_t>(clampedToRange(Setting::Connections, services_.settings.number(Setting::Connections)));
  if (fast_) {
    parallel_ = std::make_unique<ParallelRun>(services_.loop, std::max(count, 1));
  } else if (count > 1) {
    log_.ReportStamped(formatText("Connections=%d needs FastPosting=TRUE: this run uses one connection.\r\n", count));
  }
}

void PostingSession::Impl::startParallel(LinkSettings settings) {
  ParallelRun& run = *parallel_;
  const bool first = run.target == kNoTarget;  // else the run moved to a backup server
  if (first) {
    run.target = services_.loop.createTarget([this](const Message& message) { onParallelMessage(message); });
  }
  if (server_.connections > 0) {
    run.connections = std::min(run.connections, static_cast<int>(server_.connections));
  }
  settings.rateCap = &rateCap_;
  LinkPool::Events events;
  events.finished = [this](std::shared_ptr<LinkArticle> article, const LinkOutcome& outcome) {
    onLinkFinished(article, outcome);
  };
  events.sent = [this](std::int64_t bytes) { showParallelProgress(bytes); };
  events.note = [this](std::string_view text) {
    display_.ShowInboundInfo(text);
    log_.ReportStamped(std::string(text) + "\r\n");
  };
  // One rule for one connection and for several: the run reconnects at
  // most kMaxReconnects times, whichever connections break.
  events.reconnecting = [this] { return reconnectCount_ < kMaxReconnects ? ++reconnectCount_ : 0; };
  events.stateTrace = linkTrace_;
  if (log_.loggingOn()) {
    events.log = [this](int link, std::string_view text) { log_.LinkLogWrite(link, text); };
  }
  events.allLost = [this] { services_.loop.post(parallel_->target, kEndMessage); };
  run.pool = std::make_unique<LinkPool>(services_.loop, services_.socketManager, std::move(settings), run.connections,
                                        std::move(events));
  display_.ShowState("Posting with " + connectionsText(run.connections) + "...");
  if (first) {
    run.started = now();
    // Composing waits for the next dispatch: the caller is still setting up.
    services_.loop.post(run.target, kComposeMessage);
  } else {
    log_.ReportStamped("Posting with " + connectionsText(run.connections) + ".\r\n");
  }
  for (std::shared_ptr<LinkArticle>& article : run.waiting) {
    run.pool->add(std::move(article));
  }
  run.waiting.clear();
  run.pool->start();
}

void PostingSession::Impl::onParallelMessage(const Message& message) {
  if (!parallel_) {
    return;
  }
  if (message.id == kComposeMessage) {
    log_.ReportStamped("Posting with " + connectionsText(parallel_->connections) + ".\r\n");
    log_.ReportStamped("Posting Start.\r\n\r\n");
    fileNumber_ = 0;
    partIndex_ = 0;
    partCount_ = 0;
    composeAhead();
    writeReadyEntries();
  } else if (message.id == kEndMessage) {
    endParallelRun();
  }
}

void PostingSession::Impl::composeAhead() {
  ParallelRun& run = *parallel_;
  while (!run.composedAll && run.live <= static_cast<std::size_t>(run.connections)) {
    composeNextArticle();
  }
}

void PostingSession::Impl::failComposition(ParallelEntry& entry, std::string_view reason) {
  entry.done = true;
  entry.shown = "Failed.";
  entry.reported = "Failed.  [" + std::string(reason) + "]\r\n";
  entry.reason = reason;
  // The rest of the file is not posted; the next article is the next file's.
  services_.uploadList.removeHead();
  partIndex_ = 0;
  partCount_ = 0;
}

// The list's head as its first part is due: named, numbered, encoded (or
// planned) and, with Resume, entered in the journal. False when it cannot
// be encoded: its line says so and the composition goes on later.
bool PostingSession::Impl::startParallelFile(const nodeClass& head) {
  ParallelRun& run = *parallel_;
  const std::string path = takeUpFile(head);
  ++fileNumber_;
  recordFileStart();
  std::string problem;
  const FileOpening opening = openNewFile(path, problem);
  if (opening != FileOpening::Ready) {
    ParallelEntry& entry = newParallelEntry();
    showOpeningProblem(opening, problem);
    if (opening == FileOpening::CantReadBack) {
      failComposition(entry, problem);
    } else {
      entry.after = problem + "\r\n";
      failComposition(entry, "Can't encode");
    }
    // A spool that cannot be written fails every file after it too.
    run.composedAll = opening == FileOpening::SpoolFailed;
    return false;
  }
  if (resumeOn_) {
    journalFileStart();
  }
  return true;
}

// A line of the run for the current file, after the lines before it.
ParallelEntry& PostingSession::Impl::newParallelEntry() {
  ParallelRun& run = *parallel_;
  ParallelEntry& entry = run.entries.emplace_back();
  entry.serial = run.nextSerial++;
  entry.fileNumber = fileNumber_;
  entry.textName = currentName_;
  entry.sourceName = currentSourceName_;
  return entry;
}

// The same steps as the one connection's next part and its composition,
// without the dialogue: the list's head is encoded when it is new, and its
// next part is composed into the article spool (in memory, or for a long
// part the spool file) and handed to a link.
void PostingSession::Impl::composeNextArticle() {
  if (!reachNextPart()) {
    return;
  }
  ParallelEntry& entry = newParallelEntry();
  entry.description = currentDescription_;
  ++partIndex_;
  entry.part = partIndex_;
  entry.partCount = partCount_;
  if (std::shared_ptr<LinkArticle> wire = composeForLink(entry)) {
    handToLink(entry, std::move(wire));
  }
}

// The list's head at its next part the server does not hold, its file
// started when it is new. A file whose every part is on the server (a
// resumed run) has no line: the next file comes up in its place. False
// when there is no part to compose now.
bool PostingSession::Impl::reachNextPart() {
  for (;;) {
    const nodeClass* head = recoveryHead(services_.uploadList.getHead());
    if (head == nullptr) {
      parallel_->composedAll = true;
      return false;
    }
    if (partIndex_ == partCount_ && !startParallelFile(*head)) {
      return false;
    }
    if (!skipToUnposted()) {
      return true;
    }
  }
}

// The entry's article, composed in memory for a link; nullptr when it
// cannot be made (the entry then says why).
std::shared_ptr<LinkArticle> PostingSession::Impl::composeForLink(ParallelEntry& entry) {
  ArticlePart part{currentName_, currentDescription_, partIndex_, plan_, sourceFileSize_, nullptr, {}};
  part.chunkBytes = kFastChunk;
  std::optional<YencArticle> yenc;
  const std::string resumedId = resumedIdFor(currentSourceName_, partIndex_);
  if (!prepareArticle(part, yenc)) {
    failComposition(entry, "Cannot make a Message-ID");
    return nullptr;
  }
  if (!resumedId.empty()) {
    // In flight when the resumed run was cut short: the link asks for it
    // with STAT before it posts it again under the same id.
    messageId_ = resumedId;
    part.messageId = messageId_;
    entry.resumed = true;
  }
  const ArticleServices services{services_.settings, encoded_,      article_,
                                 display_,           &postCounter_, articleSettingsRead()};
  auto wire = std::make_shared<LinkArticle>();
  if (!ComposeArticle(part, services, subjectLine_) || !wire->wire.holdFrom(article_)) {
    const std::string problem = compositionProblem();
    showProblemInbound(problem);
    failComposition(entry, problem);
    return nullptr;
  }
  noteComposed(yenc);
  return wire;
}

// The composed article's line filled in and the article handed to the
// pool; the list's head goes once its last part is composed.
void PostingSession::Impl::handToLink(ParallelEntry& entry, std::shared_ptr<LinkArticle> wire) {
  ParallelRun& run = *parallel_;
  entry.subjectLine = subjectLine_;
  entry.messageId = messageId_;
  entry.bytes = wire->wire.size();
  entry.inNzb = nzb_ && !messageId_.empty() && nzbSourceName_ == currentSourceName_;
  entry.nzbFile = nzbFile_;
  if (partIndex_ == partCount_) {
    services_.uploadList.removeHead();
  }
  wire->serial = entry.serial;
  wire->messageId = messageId_;
  wire->checkFirst = entry.resumed;
  wire->doubted = entry.resumed;
  ++run.live;
  run.pool->add(std::move(wire));
}

void PostingSession::Impl::onLinkFinished(const std::shared_ptr<LinkArticle>& article, const LinkOutcome& outcome) {
  ParallelRun& run = *parallel_;
  if (run.entries.empty() || article->serial < run.entries.front().serial) {
    return;
  }
  ParallelEntry& entry = run.entries[article->serial - run.entries.front().serial];
  --run.live;
  entry.done = true;
  entry.reply = withControlCharactersReplaced(outcome.reply);
  const std::string_view reply = entry.reply;
  // After a lost acknowledgement, "already there" is the article we sent.
  const bool duplicateOfOurs = nntp::refusedAsDuplicate(outcome.code, reply);
  if (outcome.code == 240 || outcome.code == 223 || (duplicateOfOurs && article->doubted)) {
    entry.ok = true;
    // The texts of one connection: one report for one run.
    if (outcome.code == 223) {
      entry.shown = formatText("Ok. (%d/%d - found on the server by STAT)", entry.part, entry.partCount);
    } else if (outcome.code != 240) {
      entry.shown = formatText("Ok. (%d/%d - already on the server: %s)", entry.part, entry.partCount,
                               trimmed(entry.reply).c_str());
    } else {
      entry.shown = acknowledgementText(entry.part, entry.partCount, outcome.elapsedMs, entry.bytes);
    }
    entry.shown += servers_.mark();
    entry.reported = entry.shown;
    const std::string which =
        "part " + std::to_string(entry.part) + " of " + entry.textName + " (" + entry.messageId + ")";
    if (article->statRefused) {
      entry.after = "The server would not answer STAT (" + article->statReply + "): " + entry.messageId +
                    " is posted again and may now be on the server twice.\r\n";
    } else if (entry.resumed && outcome.code == 223) {
      entry.after = "Resumed: " + which + " found on the server by STAT.\r\n";
    } else if (entry.resumed) {
      entry.after = "Resumed: " + which + " is not on the server: posted again.\r\n";
    }
  } else {
    entry.shown = "Failed. " + entry.reply;
    if (duplicateOfOurs && !entry.messageId.empty()) {
      entry.reason = "Message-ID " + entry.messageId + " exists on the server";
      entry.reported = "Failed.  [" + entry.reason + "] " + entry.reply + "\r\n";
    } else {
      entry.reported = "Failed. " + entry.reply + "\r\n";
    }
  }
  writeReadyEntries();
}

void PostingSession::Impl::showParallelProgress(std::int64_t bytes) {
  progress_.addPosted(bytes);
  ParallelRun& run = *parallel_;
  const std::int64_t nowMs = services_.loop.clock().monotonicMs();
  if (nowMs < run.nextShowMs) {
    return;
  }
  run.nextShowMs = nowMs + kFastDisplayMs;
  outboundLight();
  display_.ShowState("Posting with " + connectionsText(run.connections) + "...");
  display_.ShowTimeRate(streamingTimeRateText(now() - run.started, progress_.postedBytes(),
                                              std::max(progress_.estimatedTotal(), progress_.postedBytes()),
                                              rateCap_.bytesPerSecond()));
  updateElapsed();
}

void PostingSession::Impl::writeEntry(const ParallelEntry& entry) {
  const std::string fileLine = formatText("%03d %s ... ", entry.fileNumber, entry.textName.c_str());
  display_.AddFileLine(fileLine);
  log_.ReportStamped(fileLine);
  display_.AppendToFileLine(entry.shown);
  log_.ReportWrite(entry.reported);
  if (entry.ok) {
    ++articlesOk_;
    log_.ReportWrite("\r\n         ");
    log_.ReportWrite(entry.subjectLine);
    noteAccepted(entry);
  } else {
    ++articlesFailed_;
  }
  if (!entry.after.empty()) {
    log_.ReportStamped(entry.after);
  }
  // The run record: the part's outcome in data (Verify reports the parts it
  // posts again in its own lines).
  if (FileRecord* file = verifyReposting() ? nullptr : record_.findFile(entry.sourceName)) {
    PartRecord part = entry.ok ? partOk(entry.reply) : partFailed(entry.reply, entry.reason);
    part.number = entry.part > 0 ? entry.part : (file->parts.empty() ? 1 : file->parts.back().number + 1);
    if (entry.part > 0) {
      file->partCount = entry.partCount;
    }
    part.bytes = entry.reply.empty() ? 0 : entry.bytes;
    if (!entry.reply.empty()) {
      part.messageId = entry.messageId;
    }
    file->parts.push_back(std::move(part));
  }
  updateElapsed();
}

void PostingSession::Impl::writeReadyEntries() {
  ParallelRun& run = *parallel_;
  while (!run.entries.empty() && run.entries.front().done) {
    writeEntry(run.entries.front());
    run.entries.pop_front();
  }
  composeAhead();
  if (run.composedAll && run.entries.empty() && !run.ending) {
    // Not from within a link's call: the run's end destroys the links.
    run.ending = true;
    services_.loop.post(run.target, kEndMessage);
  }
}

// Every connection failed for good: what was posted is written, and a file
// with articles not posted gets one line that says so, as the default
// mode's connection lists the files left when its reconnections are spent;
// a file still listed gets it from failUnpostedFiles.
void PostingSession::Impl::writeUnpostedEntries() {
  ParallelRun& run = *parallel_;
  const nodeClass* head = services_.uploadList.getHead();
  const std::string listed = head == nullptr ? std::string() : head->getName().value_or("");
  std::deque<ParallelEntry> written;
  std::int32_t saidNotPosted = 0;  // the file number of the last such line
  for (ParallelEntry& entry : run.entries) {
    if (!entry.done) {
      if (entry.sourceName == listed || entry.fileNumber == saidNotPosted) {
        continue;
      }
      saidNotPosted = entry.fileNumber;
      entry.done = true;
      entry.shown = "Failed.";
      entry.reported = "Failed.  [Not posted]\r\n";
      entry.reason = "Not posted";
    }
    written.push_back(std::move(entry));
  }
  run.entries = std::move(written);
  run.composedAll = true;
  run.ending = true;
  writeReadyEntries();
}

void PostingSession::Impl::endParallelRun() {
  ParallelRun& run = *parallel_;
  if (run.composedAll && run.entries.empty()) {
    parallel_.reset();
    setState(SessionState::Finish);
    Step();
    return;
  }
  if (!verifyReposting() && moveParallelServer()) {
    return;  // the articles waiting go to the next server's links
  }
  writeUnpostedEntries();
  // Why, where a run without a window shows its problems (the report has
  // each connection's line).
  const std::string why = run.pool ? run.pool->lossText() : std::string();
  parallel_.reset();
  if (verifyReposting()) {
    closeRunConnection();
    log_.ReportStamped("Verify: posting again ended early.\r\n");
    finishReposting();
    return;
  }
  showProblemInbound(why.empty() ? "Every connection failed." : "Every connection failed.\r" + why);
  display_.AddFileLine("Error Experienced.  Every connection failed.");
  log_.ReportStamped("Error Experienced.  Every connection failed.\r\n");
  failUnpostedFiles();
  reconnectAllowed_ = false;
  setState(SessionState::Idle);
  ++generation_;
  display_.ShowState("Idle.");
  endRun(RunOutcome::EndedWithoutFinishing, true);
  resetButtons();
}

}  // namespace tidewell
