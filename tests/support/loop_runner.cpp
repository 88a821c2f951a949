#include "support/loop_runner.h"

#include <chrono>

namespace tidewell::test {

void LoopRunner::advance(std::int64_t ms) {
  const std::int64_t target = clock.monotonicMs() + ms;
  settle();
  for (;;) {
    const std::int64_t due = loop.nextTimerDue();
    if (due > target) {
      break;
    }
    if (due > clock.monotonicMs()) {
      clock.advanceMs(due - clock.monotonicMs());
    }
    settle();
  }
  clock.advanceMs(target - clock.monotonicMs());
  settle();
}

bool LoopRunner::waitFor(const std::function<bool()>& done, int realMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
  while (!done()) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      return false;
    }
    loop.runOnce(static_cast<int>(std::min<long long>(left, 50)));
  }
  return true;
}

}  // namespace tidewell::test
