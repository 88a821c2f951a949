#pragma once

#include <cstdint>
#include <functional>

#include "platform/message_loop.h"
#include "support/manual_clock.h"

namespace tidewell::test {

// A message loop on a manual clock. advance() moves time forward from timer
// deadline to timer deadline, dispatching everything that becomes ready at
// each step, so a test sees every tick in order without sleeping.
class LoopRunner {
 public:
  LoopRunner() : loop(clock) {}

  // Dispatch until nothing is ready at the present time.
  void settle() { loop.runUntilIdle(); }
  void advance(std::int64_t ms);
  // Dispatch, waiting on real descriptors (sockets) for at most `realMs`
  // of real time in total, until `done` holds. The manual clock does not move.
  bool waitFor(const std::function<bool()>& done, int realMs = 5000);

  ManualClock clock;
  MessageLoop loop;
};

}  // namespace tidewell::test
