#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/clock.h"

namespace tidewell {

// A message target is the stand-in for a window: something with a handle
// that messages, timers and socket notifications are addressed to.
using TargetHandle = std::uint32_t;
inline constexpr TargetHandle kNoTarget = 0;

struct Message {
  std::uint32_t id = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
};

// A timer tick arrives as this message with the timer's number in wParam.
inline constexpr std::uint32_t kTimerMessage = 0x0113;

using MessageHandler = std::function<void(const Message&)>;

// The program's one event loop: posted and sent messages, numbered timers per
// target, readiness of file descriptors and completions handed over from
// worker threads. Built on epoll, timerfd and eventfd, so the whole loop is
// one file descriptor (fd()) that a foreign loop (Qt's) can watch and then
// call dispatchReady().
//
// Everything but postTask() must be called on the loop's thread.
class MessageLoop {
 public:
  explicit MessageLoop(Clock& clock);
  ~MessageLoop();
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  [[nodiscard]] Clock& clock() const { return clock_; }
  // The epoll descriptor: readable whenever dispatchReady() has work.
  [[nodiscard]] int fd() const { return epollFd_; }

  [[nodiscard]] TargetHandle createTarget(MessageHandler handler);
  // Kills the target's timers; messages still queued for it are dropped.
  void destroyTarget(TargetHandle target);
  [[nodiscard]] bool isTarget(TargetHandle target) const;

  // Queue a message; delivered in order by a later dispatch. False when the
  // target does not exist (the message is dropped).
  bool post(TargetHandle target, std::uint32_t id, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);
  // Deliver at once, before returning. False when the target does not exist.
  bool send(TargetHandle target, std::uint32_t id, std::uintptr_t wParam = 0, std::intptr_t lParam = 0);

  // Start or restart timer `id` of `target`: a kTimerMessage every periodMs.
  // Restarting an existing timer replaces its period and restarts its count.
  bool setTimer(TargetHandle target, unsigned id, std::int64_t periodMs);
  bool killTimer(TargetHandle target, unsigned id);
  [[nodiscard]] bool hasTimer(TargetHandle target, unsigned id) const;
  // Monotonic time of the earliest timer due, if any (tests step a manual
  // clock from deadline to deadline with it).
  [[nodiscard]] std::int64_t nextTimerDue() const;
  static constexpr std::int64_t kNoTimer = INT64_MAX;

  // Watch a descriptor for epoll events (EPOLLIN, EPOLLOUT, ...). The callback
  // gets the events that were reported. One watch per descriptor.
  using ReadyCallback = std::function<void(std::uint32_t events)>;
  bool watch(int fd, std::uint32_t events, ReadyCallback callback);
  bool rewatch(int fd, std::uint32_t events);
  void unwatch(int fd);

  // Run a function on the loop thread at its next dispatch. The only call
  // that may come from another thread (the look-up workers use it).
  void postTask(std::function<void()> task);

  // Handle everything that is ready now, without blocking: ready
  // descriptors, the messages queued before this call, due timers.
  // Returns how many things were handled.
  std::size_t dispatchReady();
  // Wait at most timeoutMs (-1: no limit) for work, then dispatch it.
  std::size_t runOnce(int timeoutMs);
  // Dispatch until nothing is ready (the queue may refill itself; at most
  // maxPasses passes). For tests and shutdown.
  std::size_t runUntilIdle(std::size_t maxPasses = 100000);
  // Run until quit() is called; returns the quit code.
  int run();
  void quit(int code = 0);
  [[nodiscard]] bool quitRequested() const { return quitRequested_; }

  // Times the loop woke from waiting (epoll_wait with a timeout other than
  // zero returned); lets tests check that it sleeps rather than spins.
  [[nodiscard]] std::uint64_t wakeups() const { return wakeups_; }

 private:
  struct Target {
    std::shared_ptr<MessageHandler> handler;
  };
  struct Timer {
    std::int64_t periodMs = 0;
    std::int64_t due = 0;
    std::uint64_t serial = 0;  // orders timers due at the same moment
  };
  struct Watch {
    int fd = -1;
    std::shared_ptr<ReadyCallback> callback;
  };
  struct Queued {
    TargetHandle target;
    Message message;
  };

  void signalWork();
  void drainSignal();
  void armTimerFd();
  std::size_t dispatchFds(int timeoutMs);
  std::size_t dispatchTasks();
  std::size_t dispatchMessages();
  std::size_t dispatchTimers();
  void deliver(TargetHandle target, const Message& message);

  Clock& clock_;
  int epollFd_ = -1;
  int eventFd_ = -1;
  int timerFd_ = -1;
  bool signalled_ = false;

  TargetHandle nextTarget_ = 1;
  std::unordered_map<TargetHandle, Target> targets_;
  std::deque<Queued> queue_;
  std::map<std::pair<TargetHandle, unsigned>, Timer> timers_;
  std::uint64_t timerSerial_ = 0;
  std::uint64_t nextWatchKey_ = 1;
  std::unordered_map<std::uint64_t, Watch> watches_;  // key -> watch
  std::unordered_map<int, std::uint64_t> watchByFd_;

  std::mutex tasksMutex_;
  std::vector<std::function<void()>> tasks_;

  bool quitRequested_ = false;
  int quitCode_ = 0;
  std::uint64_t wakeups_ = 0;
};

}  // namespace tidewell
