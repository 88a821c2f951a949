// Backup servers: the run moves to the next server when the current one
// refuses it or stays unreachable, with one connection and with several.
#include "posting/link_pool.h"
#include "posting/session.h"
#include "posting/session_parallel.h"

namespace tidewell {

ServerChoice PostingSession::Impl::currentServer() const {
  return servers_.onBackup() ? servers_.backup() : postingServer(services_.settings);
}

bool PostingSession::Impl::canMoveServer() const {
  return runActive_ && verify_.phase == VerifyRun::Phase::Off && servers_.hasNext();
}

void PostingSession::Impl::reportServerMove(std::string_view why) {
  const std::string from = serverLabel(server_);
  servers_.moveOn();
  const std::string text = serverMoveText(from, serverLabel(servers_.backup()), why);
  display_.AddFileLine(text);
  log_.ReportStamped(text + "\r\n");
  // Each server has the run's reconnections afresh; the summary counts all.
  earlierReconnects_ += reconnectCount_;
  reconnectCount_ = 0;
  reconnectAllowed_ = true;
}

bool PostingSession::Impl::moveToNextServer(std::string_view why) {
  if (!canMoveServer()) {
    return false;
  }
  reportServerMove(why);
  setState(SessionState::OpenConnection);
  postStep();
  return true;
}

bool PostingSession::Impl::moveParallelServer() {
  if (!canMoveServer() || !parallel_ || !parallel_->pool) {
    return false;
  }
  ParallelRun& run = *parallel_;
  run.waiting = run.pool->takeQueue();
  const std::string why = run.pool->lostReason();
  run.pool.reset();
  reportServerMove(why);
  StartConnection(currentServer());
  return true;
}

}  // namespace tidewell
