#include "platform/message_loop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "support/loop_runner.h"

namespace tidewell {
namespace {

using test::LoopRunner;

TEST(MessageLoop, PostedMessagesArriveInOrderAndSendIsImmediate) {
  LoopRunner run;
  std::vector<std::uint32_t> seen;
  TargetHandle target = kNoTarget;
  target = run.loop.createTarget([&](const Message& m) {
    seen.push_back(m.id);
    if (m.id == 2) {
      run.loop.send(target, 99);  // delivered inside the handler, before 3
    }
  });
  run.loop.post(target, 1);
  run.loop.post(target, 2, 7, -5);
  run.loop.post(target, 3);
  EXPECT_TRUE(seen.empty());
  run.settle();
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{1, 2, 99, 3}));
}

TEST(MessageLoop, MessagesToADestroyedTargetAreDropped) {
  LoopRunner run;
  int delivered = 0;
  const TargetHandle target = run.loop.createTarget([&](const Message&) { ++delivered; });
  run.loop.post(target, 1);
  run.loop.destroyTarget(target);
  EXPECT_FALSE(run.loop.post(target, 2));
  EXPECT_FALSE(run.loop.send(target, 3));
  run.settle();
  EXPECT_EQ(delivered, 0);
}

TEST(MessageLoop, TargetMayDestroyItselfInItsHandler) {
  LoopRunner run;
  int delivered = 0;
  TargetHandle target = kNoTarget;
  target = run.loop.createTarget([&](const Message&) {
    ++delivered;
    run.loop.destroyTarget(target);
  });
  run.loop.post(target, 1);
  run.loop.post(target, 2);
  run.settle();
  EXPECT_EQ(delivered, 1);
}

TEST(MessageLoop, TimersTickOnTheManualClockAndCanBeResetAndKilled) {
  LoopRunner run;
  std::vector<std::pair<std::int64_t, std::uintptr_t>> ticks;
  const TargetHandle target = run.loop.createTarget([&](const Message& m) {
    ASSERT_EQ(m.id, kTimerMessage);
    ticks.emplace_back(run.clock.monotonicMs(), m.wParam);
  });
  run.loop.setTimer(target, 8, 1000);
  run.loop.setTimer(target, 1, 5000);
  run.advance(999);
  EXPECT_TRUE(ticks.empty());
  run.advance(4001);
  ASSERT_EQ(ticks.size(), 6U);
  EXPECT_EQ(ticks.back(), std::make_pair(std::int64_t{5000}, std::uintptr_t{1}));

  ticks.clear();
  run.advance(4000);
  run.loop.setTimer(target, 1, 5000);  // re-arming restarts the count
  run.advance(4999);
  for (const auto& tick : ticks) {
    EXPECT_EQ(tick.second, 8U);
  }
  run.loop.killTimer(target, 8);
  ticks.clear();
  run.advance(1);
  ASSERT_EQ(ticks.size(), 1U);
  EXPECT_EQ(ticks[0].second, 1U);
  run.loop.destroyTarget(target);
  EXPECT_FALSE(run.loop.hasTimer(target, 1));
}

TEST(MessageLoop, DescriptorReadinessIsDelivered) {
  LoopRunner run;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::uint32_t events = 0;
  run.loop.watch(fds[0], EPOLLIN, [&](std::uint32_t e) { events = e; });
  run.settle();
  EXPECT_EQ(events, 0U);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  run.settle();
  EXPECT_TRUE(events & EPOLLIN);
  run.loop.unwatch(fds[0]);
  close(fds[0]);
  close(fds[1]);
}

TEST(MessageLoop, TasksFromAnotherThreadRunOnTheLoop) {
  SystemClock clock;
  MessageLoop loop(clock);
  const auto loopThread = std::this_thread::get_id();
  bool ranOnLoop = false;
  std::thread worker([&] {
    loop.postTask([&] {
      ranOnLoop = std::this_thread::get_id() == loopThread;
      loop.quit();
    });
  });
  loop.run();
  worker.join();
  EXPECT_TRUE(ranOnLoop);
}

TEST(MessageLoop, LoopDescriptorIsReadableWhileWorkIsQueued) {
  LoopRunner run;
  const TargetHandle target = run.loop.createTarget([](const Message&) {});
  pollfd pfd{run.loop.fd(), POLLIN, 0};
  EXPECT_EQ(poll(&pfd, 1, 0), 0);
  run.loop.post(target, 1);
  EXPECT_EQ(poll(&pfd, 1, 0), 1);
  run.settle();
  EXPECT_EQ(poll(&pfd, 1, 0), 0);
}

TEST(MessageLoop, RealTimersWakeTheBlockingLoop) {
  SystemClock clock;
  MessageLoop loop(clock);
  int ticks = 0;
  const TargetHandle target = loop.createTarget([&](const Message&) {
    if (++ticks == 3) {
      loop.quit();
    }
  });
  loop.setTimer(target, 1, 1);
  loop.run();
  EXPECT_EQ(ticks, 3);
  EXPECT_LE(loop.wakeups(), 10U);
}

}  // namespace
}  // namespace tidewell
