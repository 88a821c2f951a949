#include "posting/rate_cap.h"

#include <algorithm>

namespace tidewell {

namespace {
constexpr unsigned kRefillTimer = 1;

std::int64_t capacityOf(std::int64_t rate) {
  return std::max<std::int64_t>(rate / RateCap::kBurstDivisor, 1);
}
}  // namespace

RateCap::RateCap(MessageLoop& loop) : loop_(loop) {
  target_ = loop_.createTarget([this](const Message& message) {
    if (message.id == kTimerMessage) {
      loop_.killTimer(target_, kRefillTimer);
      wakeWaiters();
    }
  });
}

RateCap::~RateCap() {
  loop_.destroyTarget(target_);
}

void RateCap::configure(std::int64_t maxRateKib, std::vector<RatePeriod> schedule) {
  maxRateKib_ = maxRateKib;
  schedule_ = std::move(schedule);
  looked_ = false;
}

void RateCap::lookAtSchedule(std::int64_t nowMs) {
  const std::int64_t second = loop_.clock().epochSeconds();
  if (looked_ && second == lookedSecond_) {
    return;
  }
  looked_ = true;
  lookedSecond_ = second;
  const LocalTime local = localTimeOf(second);
  const std::int64_t kib = scheduledRate(schedule_, local.hour * 60 + local.minute, maxRateKib_);
  const std::int64_t rate = kib * 1024;
  if (rate == rate_) {
    return;
  }
  rate_ = rate;
  lastRefillMs_ = nowMs;
  tokensMilli_ = capacityOf(rate_) * 1000;  // a new period starts with a full bucket
}

void RateCap::refill(std::int64_t nowMs) {
  const std::int64_t elapsed = std::clamp<std::int64_t>(nowMs - lastRefillMs_, 0, 1000);
  lastRefillMs_ = nowMs;
  tokensMilli_ = std::min(tokensMilli_ + elapsed * rate_, capacityOf(rate_) * 1000);
}

std::int64_t RateCap::bytesPerSecond() {
  lookAtSchedule(loop_.clock().monotonicMs());
  return rate_;
}

std::size_t RateCap::allow(std::size_t wanted, RateWaiter waiter) {
  const std::int64_t nowMs = loop_.clock().monotonicMs();
  lookAtSchedule(nowMs);
  if (rate_ == 0 || wanted == 0) {
    return wanted;
  }
  refill(nowMs);
  const std::int64_t whole = tokensMilli_ / 1000;
  if (whole > 0) {
    return static_cast<std::size_t>(std::min<std::int64_t>(whole, static_cast<std::int64_t>(wanted)));
  }
  const auto same = std::find_if(waiters_.begin(), waiters_.end(),
                                 [&](const RateWaiter& other) { return other.target == waiter.target; });
  if (same != waiters_.end()) {
    *same = waiter;
  } else {
    waiters_.push_back(waiter);
  }
  if (!loop_.hasTimer(target_, kRefillTimer)) {
    // Until the bucket holds what was asked for, or is full: fewer, larger writes.
    const std::int64_t needed = std::min(static_cast<std::int64_t>(wanted), capacityOf(rate_)) * 1000 - tokensMilli_;
    loop_.setTimer(target_, kRefillTimer, std::max<std::int64_t>((needed + rate_ - 1) / rate_, 1));
  }
  return 0;
}

void RateCap::spend(std::size_t bytes) {
  if (rate_ != 0) {
    tokensMilli_ -= static_cast<std::int64_t>(bytes) * 1000;
  }
}

void RateCap::wakeWaiters() {
  std::vector<RateWaiter> waiting;
  waiting.swap(waiters_);
  for (const RateWaiter& waiter : waiting) {
    loop_.post(waiter.target, waiter.message, waiter.wParam);
  }
}

}  // namespace tidewell
