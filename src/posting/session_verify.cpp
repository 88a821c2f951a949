// Verify: after the run, before the summary, every article the server
// accepted is asked for by its Message-ID on the verify server ("STAT", or
// "HEAD" where STAT is refused). Articles it does not have are posted again
// to the posting server under new Message-IDs and asked for again, at most
// kVerifyRepostRounds times. The report lists what was checked, missing and
// posted again; the NZB keeps the ids that were found.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/text.h"
#include "posting/article_text.h"
#include "posting/session.h"
#include "posting/verify_check.h"
#include "settings/settings_store.h"
#include "settings/value_rules.h"
#include "upload/upload_list.h"

namespace tidewell {

namespace {

using Status = VerifyArticle::Status;
using Phase = VerifyRun::Phase;

std::string articleCount(std::size_t count) {
  return count == 1 ? std::string("1 article") : std::to_string(count) + " articles";
}

// "a.bin part 3 of 5".
std::string partText(const VerifyArticle& article) {
  return formatText("%s part %d of %d", article.textName.c_str(), article.part, article.partCount);
}

}  // namespace

void PostingSession::Impl::readVerifySettings() {
  services_.loop.killTimer(target_, kVerifyTimer);
  verify_ = VerifyRun{};
  verify_.on = services_.settings.flag(Setting::Verify);
  if (verify_.on && !messageIdsOn_) {
    // The check asks for each article by its Message-ID.
    messageIdsOn_ = true;
    log_.ReportStamped("Verify asks for the articles by Message-ID: MessageIDs is on for this run.\r\n");
  }
}

void PostingSession::Impl::noteVerifyAccepted(const AcceptedArticle& accepted) {
  if (!verify_.on || accepted.messageId.empty()) {
    return;
  }
  if (verifyReposting()) {
    const auto found = verify_.reposting.find({accepted.sourceName, accepted.part});
    if (found != verify_.reposting.end()) {
      verify_.articles[found->second].messageId = accepted.messageId;
      verify_.articles[found->second].status = Status::Accepted;
    }
    return;
  }
  VerifyArticle article{accepted, false, Status::Accepted, false};
  // A part posted again after a reconnection counts once, with its later
  // id, as in the NZB. The file's parts are the last ones recorded.
  for (auto known = verify_.articles.rbegin(); known != verify_.articles.rend(); ++known) {
    if (known->sourceName != article.sourceName) {
      break;
    }
    if (known->part == article.part) {
      *known = std::move(article);
      return;
    }
  }
  verify_.articles.push_back(std::move(article));
}

bool PostingSession::Impl::verifyBeforeSummary() {
  switch (verify_.phase) {
    case Phase::Off:
      if (!verify_.on || verify_.articles.empty() || !runActive_) {
        return false;
      }
      for (std::size_t i = 0; i < verify_.articles.size(); ++i) {
        verify_.checks.push_back(i);
      }
      closeRunConnection();  // the posting connection
      waitBeforeCheck();
      return true;
    case Phase::Reposting:
      closeRunConnection();  // the posting connection
      finishReposting();
      return true;
    case Phase::Checking:
    case Phase::Done:
      break;
  }
  return false;
}

void PostingSession::Impl::waitBeforeCheck() {
  verify_.phase = Phase::Checking;
  const std::int32_t delay = std::clamp(services_.settings.number(Setting::VerifyDelay), 0, kLongestVerifyDelay);
  setState(SessionState::VerifyWait);
  if (delay > 0) {
    const char* unit = delay == 1 ? "second" : "seconds";
    display_.ShowState(formatText("Verify: waiting %d %s...", delay, unit));
    log_.ReportStamped(formatText("Verify: waiting %d %s before asking.\r\n", delay, unit));
    services_.loop.setTimer(target_, kVerifyTimer, std::int64_t{delay} * 1000);
  } else {
    postStep();
  }
}

void PostingSession::Impl::stepVerifyWait() {
  if (!services_.loop.hasTimer(target_, kVerifyTimer) && !verify_.check) {
    connectVerifyServer();
  }
}

void PostingSession::Impl::onVerifyTimer() {
  services_.loop.killTimer(target_, kVerifyTimer);
  if (runActive_ && sessionState_ == SessionState::VerifyWait && !verify_.check) {
    connectVerifyServer();
  }
}

void PostingSession::Impl::connectVerifyServer() {
  verify_.server = verifyServer(services_.settings);
  if (servers_.onBackup() && trimmed(services_.settings.read(Setting::VerifyHost)).empty()) {
    verify_.server = servers_.backup();  // the posting server is the backup the run moved to
  }
  verify_.hostName = headerSafeText(verify_.server.host.value_or("").substr(0, kHostNameLimit), '_');
  log_.ReportStamped("Verify: connecting to " + verify_.hostName + "...\r\n");
  display_.ShowState("Verify: connecting to " + verify_.hostName + "...");
  // The verify server's keys are checked as the posting server's are.
  ConnectionPlan plan = planConnection(verify_.server, services_.settings);
  if (!plan.problem.empty()) {
    showProblemOutbound(plan.problem + "\r\rConfigure with SETTINGS.");
    log_.ReportStamped(plan.problem + "  Configure with SETTINGS.\r\n");
    cannotCheck();
    return;
  }
  std::vector<std::string> ids;
  for (const std::size_t index : verify_.checks) {
    ids.push_back(verify_.articles[index].messageId);
  }
  VerifyCheck::Events events;
  events.showState = [this](std::string_view text) { display_.ShowState(text); };
  events.report = [this](std::string_view line) { log_.ReportStamped(std::string(line)); };
  events.problem = [this](std::string_view text) { showProblemInbound(text); };
  if (log_.loggingOn()) {
    events.log = [this](std::string_view text) { log(text); };
  }
  events.stateTrace = linkTrace_;
  events.over = [this] { services_.loop.post(target_, kVerifyEndMessage); };  // the link goes from the loop's top
  verify_.check = std::make_unique<VerifyCheck>(services_.loop, services_.socketManager, std::move(plan.link),
                                                verify_.hostName, std::move(ids), verify_.questions, std::move(events));
  verify_.check->start();
}

void PostingSession::Impl::verifyCheckOver() {
  if (!runActive_ || verify_.phase != Phase::Checking || !verify_.check) {
    return;
  }
  const std::unique_ptr<VerifyCheck> check = std::move(verify_.check);
  lightsOff();
  check->end();
  const std::vector<VerifyCheck::Finding>& findings = check->findings();
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (findings[i] != VerifyCheck::Finding::Unasked) {
      verify_.articles[verify_.checks[i]].status =
          findings[i] == VerifyCheck::Finding::Found ? Status::Found : Status::Missing;
    }
  }
  if (check->answered()) {
    endCheckRound();
  } else {
    cannotCheck();
  }
}

// The verify server cannot be reached or does not let us ask: the round's
// findings are dropped and the posting's outcome stands.
void PostingSession::Impl::cannotCheck() {
  for (const std::size_t index : verify_.checks) {
    if (verify_.articles[index].status == Status::Missing) {
      verify_.articles[index].status = Status::Accepted;
    }
  }
  log_.ReportStamped("Verify: could not check the articles on " + verify_.hostName + ".\r\n");
  endVerify();
}

void PostingSession::Impl::endCheckRound() {
  std::vector<std::size_t> missing;
  for (const std::size_t index : verify_.checks) {
    if (verify_.articles[index].status == Status::Missing) {
      missing.push_back(index);
    }
  }
  log_.ReportStamped(formatText("Verify: %s checked on %s, %zu missing.\r\n",
                                articleCount(verify_.checks.size()).c_str(), verify_.hostName.c_str(), missing.size()));
  for (const std::size_t index : verify_.checks) {
    const VerifyArticle& article = verify_.articles[index];
    if (article.status == Status::Missing) {
      log_.ReportStamped("Verify: missing " + partText(article) + ", " + article.messageId + "\r\n");
    } else if (verify_.round > 0) {
      log_.ReportStamped("Verify: found " + partText(article) + ", " + article.messageId + "\r\n");
    }
  }
  if (!missing.empty() && verify_.round < kVerifyRepostRounds) {
    startReposting(missing);
    return;
  }
  endVerify();
}

void PostingSession::Impl::startReposting(const std::vector<std::size_t>& missing) {
  ++verify_.round;
  verify_.phase = Phase::Reposting;
  log_.ReportStamped(formatText("Verify: posting %s again (round %d of %d).\r\n", articleCount(missing.size()).c_str(),
                                verify_.round, kVerifyRepostRounds));
  // The summary counts the run's own articles; posting again is reported
  // in the Verify lines.
  verify_.savedOk = articlesOk_;
  verify_.savedFailed = articlesFailed_;
  verify_.savedReconnects = reconnectCount_;
  reconnectCount_ = 0;
  reconnectAllowed_ = true;
  services_.uploadList.clear();
  for (const std::size_t index : missing) {
    VerifyArticle& article = verify_.articles[index];
    article.status = Status::Reposting;
    article.attempted = true;
  }
  // Each file with missing parts is listed again, every other part marked
  // as on the server: only the missing ones go out.
  verify_.reposting.clear();
  std::map<std::string, std::set<std::int32_t>> lostParts;
  std::vector<const VerifyArticle*> files;
  for (const std::size_t index : missing) {
    const VerifyArticle& article = verify_.articles[index];
    if (lostParts.count(article.sourceName) == 0) {
      files.push_back(&article);
    }
    lostParts[article.sourceName].insert(article.part);
    verify_.reposting[{article.sourceName, article.part}] = index;
  }
  for (const VerifyArticle* file : files) {
    const std::set<std::int32_t>& lost = lostParts[file->sourceName];
    posted_.forget(file->sourceName);
    for (std::int32_t part = 1; part <= file->partCount; ++part) {
      if (lost.count(part) == 0) {
        posted_.markPosted(file->sourceName, part, {});
      }
    }
    services_.uploadList.insertSorted(std::make_unique<nodeClass>(file->sourceName, file->description));
  }
  if (fast_) {
    readConnections();  // posted again through links, as the run posted
  }
  setState(SessionState::OpenConnection);
  postStep();
}

// A file is taken up again: it keeps its number and its NZB entry.
void PostingSession::Impl::verifyFileStart() {
  for (const VerifyArticle& article : verify_.articles) {
    if (article.sourceName == currentSourceName_) {
      fileNumber_ = article.fileNumber;
      nzbSourceName_ = currentSourceName_;
      nzbFile_ = article.nzbFile;
      return;
    }
  }
}

void PostingSession::Impl::finishReposting() {
  articlesOk_ = verify_.savedOk;
  articlesFailed_ = verify_.savedFailed;
  reconnectCount_ += verify_.savedReconnects;
  services_.uploadList.clear();
  verify_.checks.clear();
  for (std::size_t i = 0; i < verify_.articles.size(); ++i) {
    VerifyArticle& article = verify_.articles[i];
    if (article.status == Status::Accepted && article.attempted) {
      log_.ReportStamped("Verify: posted " + partText(article) + " again as " + article.messageId + "\r\n");
      verify_.checks.push_back(i);
    } else if (article.status == Status::Reposting) {
      article.status = Status::RepostFailed;
      log_.ReportStamped("Verify: " + partText(article) + " could not be posted again.\r\n");
    }
    article.attempted = false;
  }
  if (verify_.checks.empty()) {
    endVerify();
    return;
  }
  waitBeforeCheck();
}

bool PostingSession::Impl::verifyRecovers() {
  if (!runActive_ || verify_.phase == Phase::Off) {
    return false;  // posting, or a Stop
  }
  if (verify_.phase != Phase::Reposting) {
    return true;  // the check runs on its own link; the run's connection is closed
  }
  if (reconnectAllowed_ && reconnectCount_ < kMaxReconnects) {
    return false;  // the usual reconnection
  }
  if (fileLineOpen_) {
    endFileLine("Interrupted.", "Interrupted.\r\n", std::nullopt);
  }
  closeRunConnection();
  log_.ReportStamped("Verify: posting again ended early.\r\n");
  finishReposting();
  return true;
}

void PostingSession::Impl::closeRunConnection() {
  ++generation_;  // steps still queued belong to the connection that ends
  services_.loop.killTimer(target_, kReconnectTimer);
  services_.loop.killTimer(target_, kVerifyTimer);
  retireLink(true);
  lightsOff();
}

// The findings stand: articles still missing leave the NZB and count as
// failed, and the Finish step writes the summary.
void PostingSession::Impl::endVerify() {
  verify_.phase = Phase::Done;
  std::int32_t lost = 0;
  for (const VerifyArticle& article : verify_.articles) {
    if (article.status != Status::Missing && article.status != Status::RepostFailed) {
      continue;
    }
    ++lost;
    if (nzb_ && article.inNzb) {
      static_cast<void>(nzb_->removeSegment(article.nzbFile, article.part));
    }
    // The run record (the JSON report) agrees with the summary.
    if (FileRecord* file = record_.findFile(article.sourceName)) {
      const auto part = std::find_if(file->parts.rbegin(), file->parts.rend(),
                                     [&](const PartRecord& p) { return p.number == article.part; });
      if (part != file->parts.rend()) {
        part->outcome = PartOutcome::Failed;
        part->reason = "Missing on the verify server";
      }
    }
  }
  if (lost > 0) {
    log_.ReportStamped("Verify: " + articleCount(static_cast<std::size_t>(lost)) + (lost == 1 ? " is" : " are") +
                       " missing on " + verify_.hostName +
                       (nzb_ ? (lost == 1 ? "; the NZB leaves it out." : "; the NZB leaves them out.") : ".") + "\r\n");
    articlesOk_ -= lost;
    articlesFailed_ += lost;
  }
  setState(SessionState::Finish);
  postStep();
}

}  // namespace tidewell
