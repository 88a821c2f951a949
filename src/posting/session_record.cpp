// The run record: the hooks that fill it as the run goes on, and the JSON
// report written from it (with JsonReport).
#include <algorithm>
#include <set>
#include <string_view>

#include "platform/clock.h"
#include "platform/text.h"
#include "posting/json_report.h"
#include "posting/session.h"
#include "settings/settings_store.h"
#include "upload/upload_list.h"
#include "upload/upload_scan.h"

namespace tidewell {

void PostingSession::Impl::startRunRecord() {
  record_ = RunRecord{};
  nextJsonWrite_ = 0;
  record_.textReport = log_.reportFileName();
  record_.started = services_.loop.clock().epochSeconds();
  record_.settings = settingsSnapshot(services_.settings);
  jsonReport_ = services_.settings.flag(Setting::JsonReport);
}

void PostingSession::Impl::recordListedFiles() {
  for (const nodeClass& entry : services_.uploadList) {
    const std::string name = entry.getName().value_or("");
    const std::string path = sourcePath(name);
    record_.files.push_back(
        FileRecord{name, path.empty() ? 0 : fileSizeOf(path), trimmed(entry.getDescription().value_or("")), 0, {}});
  }
  writeRunRecord(true);
}

void PostingSession::Impl::recordFileStart() {
  if (verifyReposting()) {
    verifyFileStart();  // its parts keep their lines; Verify reports the new ones
    return;
  }
  writeRunRecord(false);  // the files before this one are done
  if (FileRecord* file = record_.findFile(currentSourceName_)) {
    // Posted again after a reconnection: from its first part, but for the
    // parts on the server, which keep their lines.
    std::erase_if(file->parts, [this](const PartRecord& part) {
      return part.outcome != PartOutcome::Ok || !posted_.isPosted(currentSourceName_, part.number);
    });
  }
}

// Every part line of the report ends through endFileLine, which hands the
// outcome over in data as well: the record never reads the report's words.
// An interrupted part is not recorded: its file is posted again, or listed
// as not posted when the run gives up.
void PostingSession::Impl::recordPartEnd(std::optional<PartRecord> ended) {
  const nodeClass* head = services_.uploadList.getHead();
  FileRecord* file = head == nullptr ? nullptr : record_.findFile(head->getName().value_or(""));
  // Articles posted again by Verify are reported in its lines.
  if (!ended || file == nullptr || verifyReposting()) {
    return;
  }
  PartRecord part = std::move(*ended);
  // From "post" on, partIndex_ is the part under way; a file failed before
  // that (not encodable, or not posted) fails at its first part not posted.
  if (part.number == 0 && (isArticleInFlight(sessionState_) || sessionState_ == SessionState::AwaitStatReply)) {
    part.number = partIndex_;
  }
  if (part.number > 0) {
    file->partCount = partCount_;
  } else {
    part.number = file->parts.empty() ? 1 : file->parts.back().number + 1;
  }
  if (isStreaming(sessionState_) || sessionState_ == SessionState::AwaitAck) {
    part.bytes = article_.getArticleSent();
    part.messageId = messageId_;
  }
  file->parts.push_back(std::move(part));
}

void PostingSession::Impl::endRunRecord(RunOutcome outcome) {
  record_.ended = services_.loop.clock().epochSeconds();
  record_.outcome = outcome;
  writeRunRecord(true);
  RunProgress progress = runProgress();
  progress.ended = true;
  display_.showRunProgress(progress);
}

RunProgress PostingSession::Impl::runProgress() const {
  RunProgress progress;
  progress.filesListed = static_cast<std::int32_t>(record_.files.size());
  std::set<std::string_view> waiting;
  for (const nodeClass& entry : services_.uploadList) {
    if (entry.getName()) {
      waiting.insert(*entry.getName());
    }
  }
  // A file is posted once it has left the list with no part failed; the
  // parts a resumed run found on the server have no record of their own.
  for (const FileRecord& file : record_.files) {
    if (!waiting.contains(file.name)) {
      ++progress.filesDone;
      const bool allOk = std::all_of(file.parts.begin(), file.parts.end(),
                                     [](const PartRecord& part) { return part.outcome == PartOutcome::Ok; });
      progress.filesPosted += allOk ? 1 : 0;
    }
  }
  progress.articlesFailed = articlesFailed_;
  progress.bytesPosted = progress_.postedBytes();
  progress.bytesEstimated = progress_.estimatedTotal();
  return progress;
}

void PostingSession::Impl::writeRunRecord(bool always) {
  if (!jsonReport_ || log_.reportFileName().empty()) {
    return;
  }
  // The document grows with the run, and many small files end in quick
  // succession: a rewrite waits until ten times its predecessor's time has
  // passed, so rewriting never takes more than a tenth of the run.
  const Clock& clock = services_.loop.clock();
  const std::int64_t start = clock.monotonicMs();
  if (!always && start < nextJsonWrite_) {
    return;
  }
  static_cast<void>(writeJsonReport(jsonReportName(log_.reportFileName()), record_));
  nextJsonWrite_ = start + (clock.monotonicMs() - start) * 10;
}

}  // namespace tidewell
