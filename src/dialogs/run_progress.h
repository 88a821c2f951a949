#pragma once

#include <optional>
#include <string_view>

namespace tidewell {

// The share of the whole run done, in percent (0 to 100), read from the
// Total Estimate line: "Elapsed: HH:MM:SS To Go: HH:MM:SS" gives
// elapsed / (elapsed + to go), which is the share of the estimated bytes
// posted, because the time to go is projected from the bytes; "Elapsed:
// HH:MM:SS" alone (nothing left to go) gives 100. Nothing while the line
// has no figures yet ("--:--:--") or is not such a line.
[[nodiscard]] std::optional<int> runPercentFromEstimate(std::string_view line);

}  // namespace tidewell
