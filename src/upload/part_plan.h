#pragma once

#include <cstdint>

namespace tidewell {

// A part size setting of 0 means this many bytes: in effect one article per
// file.
inline constexpr std::int32_t kWholeFilePartSize = 33554432;
// A full uuencoded line: length character, 60 characters, CR LF.
inline constexpr std::int64_t kFullLineBytes = 63;
// A rest of at most this many bytes (the short last data line and the
// closing line) rides with the last part instead of making its own.
inline constexpr std::int64_t kSmallestOwnRest = 128;

// How the encoded text of one file is cut into articles. Every part but the
// last is partLength bytes; the last runs to the end of the encoded text.
struct PartPlan {
  std::int64_t partLength = 0;
  std::int32_t partCount = 0;

  // Offset just past part k (1 to partCount) of an encoded text of `total`
  // bytes.
  [[nodiscard]] std::int64_t partEnd(std::int32_t k, std::int64_t total) const {
    return k < partCount ? k * partLength : total;
  }
};

// Plans the parts of an encoded text of `encodedSize` bytes. Parts hold
// whole full lines (partSizeSetting rounded down to a multiple of 63) unless
// the whole text is smaller than the part size. A setting of 0 or below
// means kWholeFilePartSize; a setting of 1 to 62 is taken as one line (63).
// An empty text gives one empty part.
[[nodiscard]] PartPlan planParts(std::int64_t encodedSize, std::int32_t partSizeSetting);

}  // namespace tidewell
