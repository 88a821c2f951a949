#pragma once

// How a posting connection paces its dialogue and its article bytes. The
// default mode is slow on purpose: a reply is taken on the run's one-second
// live tick, the article goes out in small writes, and the reply timeout
// counts down where the user can see it. Fast posting takes each reply as
// soon as its line is whole and writes the article in large pieces.
#include <cstddef>
#include <cstdint>

namespace tidewell {

enum class LinkPacing : std::uint8_t {
  // Replies as they arrive; the article in kFastChunk writes, one after the
  // other; one timer for the whole reply timeout.
  AsTheyArrive,
  // One reply per live tick (the owner calls PostLink::tick()); the article
  // in kArticleChunk writes, one per dispatch of the loop; the reply timeout
  // in kTimeoutTickMs steps, each one reported with the seconds left.
  OnTick,
};

inline constexpr std::int64_t kLiveTickMs = 1000;
inline constexpr std::int64_t kTimeoutTickMs = 5000;
inline constexpr std::size_t kArticleChunk = 448;
// Fast posting: the article goes out in writes of this size, the spools are
// copied in pieces of it, and the progress display is refreshed at most
// every kFastDisplayMs of loop time.
inline constexpr std::size_t kFastChunk = 256 * 1024;

// The most a link reads of its article and hands to the socket at once.
[[nodiscard]] constexpr std::size_t articleWriteSize(LinkPacing pacing) {
  return pacing == LinkPacing::OnTick ? kArticleChunk : kFastChunk;
}

}  // namespace tidewell
