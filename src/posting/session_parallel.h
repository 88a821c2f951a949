#pragma once

// A run with several connections (Connections=N with FastPosting): the
// session composes the list's articles in order, at most N+1 held in
// memory, and the pool's links post them; outcomes are written to the
// panel, the report, the run record and the NZB in list order.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "platform/message_loop.h"
#include "posting/accepted_article.h"
#include "posting/link_pool.h"

namespace tidewell {

// One line of the Outbound Files and the report: an article composed (or
// a file that failed before any of its articles), waiting for its outcome
// and for every line before it.
struct ParallelEntry : AcceptedArticle {
  // Its place among the run's articles. `part` is 0 for a file that failed
  // before its articles.
  std::size_t serial = 0;
  std::string subjectLine;
  bool resumed = false;  // in flight when the resumed run was cut short
  bool done = false;
  bool ok = false;
  std::string shown;     // appended to the Outbound Files line
  std::string reported;  // the rest of the report line
  std::string reply;     // the server's line, for the run record
  std::string reason;    // the program's reason of a failure, for the run record
  std::string after;     // a stamped report line that follows it
};

struct ParallelRun {
  ParallelRun(MessageLoop& eventLoop, int count) : loop(eventLoop), connections(count) {}
  ~ParallelRun() {
    pool.reset();
    if (target != kNoTarget) {
      loop.destroyTarget(target);
    }
  }
  ParallelRun(const ParallelRun&) = delete;
  ParallelRun& operator=(const ParallelRun&) = delete;

  MessageLoop& loop;
  int connections;
  TargetHandle target = kNoTarget;  // deferred work, outside the links' calls
  std::unique_ptr<LinkPool> pool;
  std::deque<ParallelEntry> entries;  // in list order, from the first not yet written
  std::size_t nextSerial = 0;
  std::size_t live = 0;  // articles composed and not yet ended (held in memory)
  bool composedAll = false;
  bool ending = false;
  std::int64_t started = 0;  // loop seconds when the links started
  std::int64_t nextShowMs = 0;
  // Moving to a backup server: the articles the lost links gave back, for
  // the next pool.
  std::deque<std::shared_ptr<LinkArticle>> waiting;
};

}  // namespace tidewell
