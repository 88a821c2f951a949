#include "platform/message_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace tidewell {

namespace {
// epoll keys below this value are the loop's own descriptors.
constexpr std::uint64_t kEventKey = 0;
constexpr std::uint64_t kTimerKey = 1;
constexpr std::uint64_t kFirstWatchKey = 2;
}  // namespace

MessageLoop::MessageLoop(Clock& clock) : clock_(clock), nextWatchKey_(kFirstWatchKey) {
  epollFd_ = epoll_create1(EPOLL_CLOEXEC);
  eventFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.u64 = kEventKey;
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, eventFd_, &ev);
  ev.data.u64 = kTimerKey;
  epoll_ctl(epollFd_, EPOLL_CTL_ADD, timerFd_, &ev);
}

MessageLoop::~MessageLoop() {
  close(timerFd_);
  close(eventFd_);
  close(epollFd_);
}

TargetHandle MessageLoop::createTarget(MessageHandler handler) {
  const TargetHandle handle = nextTarget_++;
  targets_[handle] = Target{std::make_shared<MessageHandler>(std::move(handler))};
  return handle;
}

void MessageLoop::destroyTarget(TargetHandle target) {
  targets_.erase(target);
  std::erase_if(timers_, [target](const auto& entry) { return entry.first.first == target; });
  armTimerFd();
}

bool MessageLoop::isTarget(TargetHandle target) const {
  return targets_.contains(target);
}

bool MessageLoop::post(TargetHandle target, std::uint32_t id, std::uintptr_t wParam, std::intptr_t lParam) {
  if (!isTarget(target)) {
    return false;
  }
  queue_.push_back(Queued{target, Message{id, wParam, lParam}});
  signalWork();
  return true;
}

bool MessageLoop::send(TargetHandle target, std::uint32_t id, std::uintptr_t wParam, std::intptr_t lParam) {
  if (!isTarget(target)) {
    return false;
  }
  deliver(target, Message{id, wParam, lParam});
  return true;
}

void MessageLoop::deliver(TargetHandle target, const Message& message) {
  const auto it = targets_.find(target);
  if (it == targets_.end()) {
    return;
  }
  // Hold the handler alive: it may destroy its own target while running.
  const std::shared_ptr<MessageHandler> handler = it->second.handler;
  (*handler)(message);
}

bool MessageLoop::setTimer(TargetHandle target, unsigned id, std::int64_t periodMs) {
  if (!isTarget(target) || periodMs <= 0) {
    return false;
  }
  timers_[{target, id}] = Timer{periodMs, clock_.monotonicMs() + periodMs, timerSerial_++};
  armTimerFd();
  return true;
}

bool MessageLoop::killTimer(TargetHandle target, unsigned id) {
  const bool existed = timers_.erase({target, id}) > 0;
  armTimerFd();
  return existed;
}

bool MessageLoop::hasTimer(TargetHandle target, unsigned id) const {
  return timers_.contains({target, id});
}

std::int64_t MessageLoop::nextTimerDue() const {
  std::int64_t due = kNoTimer;
  for (const auto& [key, timer] : timers_) {
    due = std::min(due, timer.due);
  }
  return due;
}

bool MessageLoop::watch(int fd, std::uint32_t events, ReadyCallback callback) {
  unwatch(fd);
  const std::uint64_t key = nextWatchKey_++;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = key;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    return false;
  }
  watches_[key] = Watch{fd, std::make_shared<ReadyCallback>(std::move(callback))};
  watchByFd_[fd] = key;
  return true;
}

bool MessageLoop::rewatch(int fd, std::uint32_t events) {
  const auto it = watchByFd_.find(fd);
  if (it == watchByFd_.end()) {
    return false;
  }
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = it->second;
  return epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &ev) == 0;
}

void MessageLoop::unwatch(int fd) {
  const auto it = watchByFd_.find(fd);
  if (it == watchByFd_.end()) {
    return;
  }
  epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
  watches_.erase(it->second);
  watchByFd_.erase(it);
}

void MessageLoop::postTask(std::function<void()> task) {
  {
    const std::lock_guard lock(tasksMutex_);
    tasks_.push_back(std::move(task));
  }
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = write(eventFd_, &one, sizeof one);
}

void MessageLoop::signalWork() {
  if (signalled_) {
    return;
  }
  signalled_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = write(eventFd_, &one, sizeof one);
}

void MessageLoop::drainSignal() {
  std::uint64_t count = 0;
  [[maybe_unused]] const auto got = read(eventFd_, &count, sizeof count);
  signalled_ = false;
}

void MessageLoop::armTimerFd() {
  itimerspec timer{};
  const std::int64_t due = nextTimerDue();
  if (clock_.isReal() && due != kNoTimer) {
    // A zero it_value disarms the timer, so a due time in the past is armed
    // one nanosecond ahead.
    const std::int64_t waitMs = std::max<std::int64_t>(due - clock_.monotonicMs(), 0);
    timer.it_value.tv_sec = static_cast<time_t>(waitMs / 1000);
    timer.it_value.tv_nsec = static_cast<long>((waitMs % 1000) * 1'000'000);
    if (waitMs == 0) {
      timer.it_value.tv_nsec = 1;
    }
  }
  timerfd_settime(timerFd_, 0, &timer, nullptr);
}

std::size_t MessageLoop::dispatchFds(int timeoutMs) {
  std::array<epoll_event, 64> events{};
  int count = epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), timeoutMs);
  if (count < 0) {
    return 0;
  }
  if (timeoutMs != 0) {
    ++wakeups_;
  }
  std::size_t handled = 0;
  for (int i = 0; i < count; ++i) {
    const std::uint64_t key = events[static_cast<std::size_t>(i)].data.u64;
    if (key == kEventKey) {
      drainSignal();
      continue;
    }
    if (key == kTimerKey) {
      std::uint64_t expirations = 0;
      [[maybe_unused]] const auto got = read(timerFd_, &expirations, sizeof expirations);
      continue;
    }
    const auto it = watches_.find(key);
    if (it == watches_.end()) {
      continue;  // unwatched by an earlier callback of this batch
    }
    const std::shared_ptr<ReadyCallback> callback = it->second.callback;
    (*callback)(events[static_cast<std::size_t>(i)].events);
    ++handled;
  }
  return handled;
}

std::size_t MessageLoop::dispatchTasks() {
  std::vector<std::function<void()>> ready;
  {
    const std::lock_guard lock(tasksMutex_);
    ready.swap(tasks_);
  }
  for (auto& task : ready) {
    task();
  }
  return ready.size();
}

std::size_t MessageLoop::dispatchMessages() {
  // Only what was queued before this pass: a handler that keeps posting to
  // itself must not starve descriptors and timers.
  std::size_t pending = queue_.size();
  std::size_t handled = 0;
  while (pending-- > 0 && !queue_.empty()) {
    const Queued item = queue_.front();
    queue_.pop_front();
    deliver(item.target, item.message);
    ++handled;
  }
  return handled;
}

std::size_t MessageLoop::dispatchTimers() {
  const std::int64_t now = clock_.monotonicMs();
  std::vector<std::pair<TargetHandle, unsigned>> due;
  for (const auto& [key, timer] : timers_) {
    if (timer.due <= now) {
      due.push_back(key);
    }
  }
  std::sort(due.begin(), due.end(), [this](const auto& a, const auto& b) {
    const Timer& ta = timers_.at(a);
    const Timer& tb = timers_.at(b);
    return ta.due != tb.due ? ta.due < tb.due : ta.serial < tb.serial;
  });
  std::size_t handled = 0;
  for (const auto& key : due) {
    // A handler earlier in this pass may have killed or reset this timer.
    const auto it = timers_.find(key);
    if (it == timers_.end() || it->second.due > now) {
      continue;
    }
    it->second.due = now + it->second.periodMs;
    deliver(key.first, Message{kTimerMessage, key.second, 0});
    ++handled;
  }
  armTimerFd();
  return handled;
}

std::size_t MessageLoop::dispatchReady() {
  return runOnce(0);
}

std::size_t MessageLoop::runOnce(int timeoutMs) {
  if (!queue_.empty()) {
    timeoutMs = 0;
  }
  std::size_t handled = dispatchFds(timeoutMs);
  handled += dispatchTasks();
  handled += dispatchMessages();
  handled += dispatchTimers();
  if (!queue_.empty()) {
    signalled_ = false;
    signalWork();
  }
  return handled;
}

std::size_t MessageLoop::runUntilIdle(std::size_t maxPasses) {
  std::size_t total = 0;
  for (std::size_t pass = 0; pass < maxPasses; ++pass) {
    const std::size_t handled = dispatchReady();
    total += handled;
    if (handled == 0 && queue_.empty()) {
      break;
    }
  }
  return total;
}

int MessageLoop::run() {
  quitRequested_ = false;
  while (!quitRequested_) {
    runOnce(-1);
  }
  return quitCode_;
}

void MessageLoop::quit(int code) {
  quitRequested_ = true;
  quitCode_ = code;
  signalWork();
}

}  // namespace tidewell
