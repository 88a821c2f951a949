#include "dialogs/run_progress.h"

#include <charconv>
#include <cstdint>

namespace tidewell {

namespace {

// "H...:MM:SS" at the front of `text` in seconds; advances `text` past it.
std::optional<std::int64_t> takeClock(std::string_view& text) {
  std::int64_t total = 0;
  for (int field = 0; field < 3; ++field) {
    if (field > 0) {
      if (text.empty() || text.front() != ':') {
        return std::nullopt;
      }
      text.remove_prefix(1);
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value < 0 || (field > 0 && value > 59)) {
      return std::nullopt;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    total = total * 60 + value;
  }
  return total;
}

bool takePrefix(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) {
    return false;
  }
  text.remove_prefix(prefix.size());
  return true;
}

}  // namespace

std::optional<int> runPercentFromEstimate(std::string_view line) {
  if (!takePrefix(line, "Elapsed: ")) {
    return std::nullopt;
  }
  const std::optional<std::int64_t> elapsed = takeClock(line);
  if (!elapsed) {
    return std::nullopt;
  }
  if (line.empty()) {
    return 100;
  }
  if (!takePrefix(line, " To Go: ")) {
    return std::nullopt;
  }
  const std::optional<std::int64_t> toGo = takeClock(line);
  if (!toGo || !line.empty() || *elapsed + *toGo == 0) {
    return std::nullopt;
  }
  return static_cast<int>(*elapsed * 100 / (*elapsed + *toGo));
}

}  // namespace tidewell
