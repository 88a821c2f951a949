#include "posting/link_pool.h"

namespace tidewell {

LinkPool::LinkPool(MessageLoop& loop, SocketManager& sockets, LinkSettings settings, int count, Events events)
    : settings_(std::move(settings)), events_(std::move(events)) {
  PostLink::Events linkEvents;
  linkEvents.take = [this]() -> std::shared_ptr<LinkArticle> {
    if (queue_.empty()) {
      return nullptr;
    }
    std::shared_ptr<LinkArticle> next = std::move(queue_.front());
    queue_.pop_front();
    return next;
  };
  linkEvents.finished = [this](std::shared_ptr<LinkArticle> article, const LinkOutcome& outcome) {
    events_.finished(std::move(article), outcome);
  };
  linkEvents.giveBack = [this](std::shared_ptr<LinkArticle> article) {
    queue_.push_front(std::move(article));
    dispatch();
  };
  linkEvents.sent = [this](std::int64_t bytes) { events_.sent(bytes); };
  linkEvents.note = [this](std::string_view text) { events_.note(text); };
  linkEvents.reconnecting = [this] { return events_.reconnecting(); };
  linkEvents.stateTrace = events_.stateTrace;
  linkEvents.othersLeft = [this] { return lost_ + 1 < links_.size(); };
  linkEvents.lost = [this](PostLink& link) {
    lostReason_ = link.lostReason();
    lossText_ = link.lossText();
    if (++lost_ == links_.size()) {
      events_.allLost();
    }
  };
  for (int number = 1; number <= count; ++number) {
    if (events_.log) {
      linkEvents.log = [this, number](std::string_view text) { events_.log(number, text); };
    }
    links_.push_back(std::make_unique<PostLink>(loop, sockets, settings_, number, linkEvents));
  }
}

void LinkPool::start() {
  for (const std::unique_ptr<PostLink>& link : links_) {
    link->start();
  }
}

void LinkPool::add(std::shared_ptr<LinkArticle> article) {
  queue_.push_back(std::move(article));
  dispatch();
}

void LinkPool::dispatch() {
  for (const std::unique_ptr<PostLink>& link : links_) {
    if (queue_.empty()) {
      return;
    }
    link->wake();
  }
}

}  // namespace tidewell
