#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace tidewell {

// A clock that only moves when told to; both readings advance together.
class ManualClock final : public Clock {
 public:
  explicit ManualClock(std::int64_t epochStart = 1'700'000'000) : epoch0_(epochStart) {}
  [[nodiscard]] std::int64_t monotonicMs() const override { return ms_; }
  [[nodiscard]] std::int64_t epochSeconds() const override { return epoch0_ + ms_ / 1000; }
  void advanceMs(std::int64_t ms) { ms_ += ms; }

 private:
  std::int64_t epoch0_;
  std::int64_t ms_ = 0;
};

}  // namespace tidewell
