#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell {

// At most this much of a text is shown in an information list.
inline constexpr std::size_t kListTextLimit = 4096;
// An Outbound Files line holds at most this many characters.
inline constexpr std::size_t kFileLineLimit = 275;

// Split a text for the Outbound/Inbound Information lists: its first 4096
// characters, trimmed; cut at the first carriage return (or, when there is
// none, the first line feed), each piece trimmed; empty pieces dropped.
[[nodiscard]] std::vector<std::string> splitListLines(std::string_view text);

// The last Outbound Files line with `text` appended, cut to 275 characters.
[[nodiscard]] std::string appendedFileLine(std::string_view lastLine, std::string_view text);

}  // namespace tidewell
