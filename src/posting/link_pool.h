#pragma once

// The connections of a run with several: N links kept busy from one queue
// of composed articles, handed out in list order. An article a link gave
// back (its connection broke or failed) goes to the front of the queue.
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "posting/post_link.h"

namespace tidewell {

class LinkPool {
 public:
  struct Events {
    std::function<void(std::shared_ptr<LinkArticle>, const LinkOutcome&)> finished;
    std::function<void(std::int64_t)> sent;
    std::function<void(std::string_view)> note;
    std::function<int()> reconnecting;  // as PostLink's: the run's reconnection number, 0 none left
    // A link's traffic for the debug log, with the link's number (1 to N).
    std::function<void(int, std::string_view)> log;
    std::function<void(int, std::string_view)> stateTrace;  // as PostLink's
    // Every link failed for good; the articles still queued stay unposted.
    std::function<void()> allLost;
  };

  LinkPool(MessageLoop& loop, SocketManager& sockets, LinkSettings settings, int count, Events events);

  void start();
  // Queues an article behind the others and lets an idle link take it.
  void add(std::shared_ptr<LinkArticle> article);
  [[nodiscard]] std::size_t queued() const { return queue_.size(); }
  [[nodiscard]] bool allLost() const { return lost_ == links_.size(); }
  // Why the last link was lost (see PostLink::lostReason).
  [[nodiscard]] const std::string& lostReason() const { return lostReason_; }
  // The last lost link's own words for its failure (PostLink::lossText).
  [[nodiscard]] const std::string& lossText() const { return lossText_; }
  // The articles waiting, in order, taken out of the pool (for another).
  [[nodiscard]] std::deque<std::shared_ptr<LinkArticle>> takeQueue() { return std::exchange(queue_, {}); }

 private:
  void dispatch();

  LinkSettings settings_;  // the links hold a reference: declared before them
  Events events_;
  std::deque<std::shared_ptr<LinkArticle>> queue_;
  std::vector<std::unique_ptr<PostLink>> links_;
  std::size_t lost_ = 0;
  std::string lostReason_;
  std::string lossText_;
};

}  // namespace tidewell
