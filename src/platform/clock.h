#pragma once

#include <cstdint>

namespace tidewell {

// Local calendar time split into its fields (what the report's time stamps
// and the tip rotation need).
struct LocalTime {
  int year = 0;
  int month = 0;   // 1..12
  int day = 0;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59
};

// The program's source of time. Abstract so tests can stand in a clock they
// advance by hand: the message loop's timers and every elapsed-time figure
// read it, and nothing sleeps to wait for it.
class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds of a monotonic clock: timers are scheduled against it.
  [[nodiscard]] virtual std::int64_t monotonicMs() const = 0;
  // Calendar seconds since the epoch (time()).
  [[nodiscard]] virtual std::int64_t epochSeconds() const = 0;
  // Local time of the present moment.
  [[nodiscard]] LocalTime localNow() const;
  // True for the system clock: the loop may then sleep until a timer is due.
  [[nodiscard]] virtual bool isReal() const { return false; }
};

[[nodiscard]] LocalTime localTimeOf(std::int64_t epochSeconds);

class SystemClock final : public Clock {
 public:
  [[nodiscard]] std::int64_t monotonicMs() const override;
  [[nodiscard]] std::int64_t epochSeconds() const override;
  [[nodiscard]] bool isReal() const override { return true; }
};

}  // namespace tidewell
