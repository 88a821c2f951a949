#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace tidewell {

class Clock;

// The hint panel of the posting dialog shows one of these, picked by the
// clock: a usage hint, a note about the program or a quotation.
inline constexpr std::size_t kTipCount = 19;
extern const std::array<std::string_view, kTipCount> tipTable;

// The tip for a local time whose seconds are `second` (0..59): entry
// second modulo 19, so two calls within one second show the same tip.
[[nodiscard]] std::string_view tipForSecond(int second);
// The tip for the present local time of `clock`.
[[nodiscard]] std::string_view tipForNow(const Clock& clock);

}  // namespace tidewell
