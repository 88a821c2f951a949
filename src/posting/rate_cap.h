#pragma once

// The run's bandwidth cap: one token bucket on the loop's clock, shared by
// every connection of the run and asked before each write of article
// bytes (commands are never held back).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/message_loop.h"
#include "settings/rate_schedule.h"

namespace tidewell {

// Who waits for the bucket: the message it is sent once bytes may go again.
struct RateWaiter {
  TargetHandle target = kNoTarget;
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
};

class RateCap {
 public:
  // No cap until configure().
  explicit RateCap(MessageLoop& loop);
  ~RateCap();
  RateCap(const RateCap&) = delete;
  RateCap& operator=(const RateCap&) = delete;

  // `maxRateKib`: KiB/s outside every period of `schedule` (0: no cap).
  // The schedule is read by the local time of the loop's clock, looked at
  // again in each new second, so a period's cap holds from its first second.
  void configure(std::int64_t maxRateKib, std::vector<RatePeriod> schedule);

  // How many of `wanted` bytes may be written now: all of them without a
  // cap, else what the bucket holds. None: `waiter` is sent its message
  // once some may go (one message per waiting target).
  [[nodiscard]] std::size_t allow(std::size_t wanted, RateWaiter waiter);
  // The bytes the socket took of what allow() granted.
  void spend(std::size_t bytes);
  // The cap in force now, in bytes per second; 0: none.
  [[nodiscard]] std::int64_t bytesPerSecond();

  // The bucket holds a tenth of a second of the cap: a burst after a pause
  // stays within 1% of any 10-second window.
  static constexpr std::int64_t kBurstDivisor = 10;

 private:
  void refill(std::int64_t nowMs);
  void lookAtSchedule(std::int64_t nowMs);
  void wakeWaiters();

  MessageLoop& loop_;
  TargetHandle target_ = kNoTarget;
  std::int64_t maxRateKib_ = 0;
  std::vector<RatePeriod> schedule_;
  std::int64_t rate_ = 0;         // bytes per second; 0: no cap
  std::int64_t tokensMilli_ = 0;  // thousandths of a byte, so slow refills are not lost to rounding
  std::int64_t lastRefillMs_ = 0;
  std::int64_t lookedSecond_ = 0;  // the calendar second the schedule was last read in
  bool looked_ = false;
  std::vector<RateWaiter> waiters_;
};

// The bytes of `wanted` a writer may send now: all of them when the run has
// no cap (`cap` null).
[[nodiscard]] inline std::size_t allowedBytes(RateCap* cap, std::size_t wanted, RateWaiter waiter) {
  return cap != nullptr ? cap->allow(wanted, waiter) : wanted;
}
inline void spentBytes(RateCap* cap, std::size_t bytes) {
  if (cap != nullptr) {
    cap->spend(bytes);
  }
}

}  // namespace tidewell
