#include "par2/md5_lanes.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "par2/md5_lanes_kernels.h"
#include "platform/cpu_features.h"

namespace tidewell::par2 {

namespace {

using detail::kMd5Lanes;

std::uint32_t wordAt(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The 64 steps on two blocks at once, one step of each in turn, so the
// processor runs the two chains side by side.
void compressTwo(std::uint32_t (&words)[2][4], const std::uint8_t* const (&blocks)[2]) {
  std::uint32_t m[2][16];
  std::uint32_t a[2];
  std::uint32_t b[2];
  std::uint32_t c[2];
  std::uint32_t d[2];
  for (int n = 0; n < 2; ++n) {
    for (int i = 0; i < 16; ++i) {
      m[n][i] = wordAt(blocks[n] + 4 * i);
    }
    a[n] = words[n][0];
    b[n] = words[n][1];
    c[n] = words[n][2];
    d[n] = words[n][3];
  }
#pragma GCC unroll 64
  for (int i = 0; i < 64; ++i) {
    const int round = i / 16;
#pragma GCC unroll 2
    for (int n = 0; n < 2; ++n) {
      std::uint32_t f = 0;
      switch (round) {
        case 0:
          f = d[n] ^ (b[n] & (c[n] ^ d[n]));
          break;
        case 1:
          f = c[n] ^ (d[n] & (b[n] ^ c[n]));
          break;
        case 2:
          f = b[n] ^ c[n] ^ d[n];
          break;
        default:
          f = c[n] ^ (b[n] | ~d[n]);
          break;
      }
      const std::uint32_t sum = a[n] + f + detail::kMd5Sine[i] + m[n][detail::md5Message(i)];
      a[n] = d[n];
      d[n] = c[n];
      c[n] = b[n];
      b[n] = b[n] + std::rotl(sum, detail::kMd5Rotate[round][i % 4]);
    }
  }
  for (int n = 0; n < 2; ++n) {
    words[n][0] += a[n];
    words[n][1] += b[n];
    words[n][2] += c[n];
    words[n][3] += d[n];
  }
}

// The last block or two of a lane: its last size % 64 bytes, a one bit,
// zeros, the length in bits.
std::size_t tailBlocks(const std::uint8_t* data, std::size_t size, std::uint8_t (&tail)[128]) {
  const std::size_t rest = size % 64;
  const std::size_t blocks = rest < 56 ? 1 : 2;
  std::memset(tail, 0, sizeof tail);
  std::memcpy(tail, data + (size - rest), rest);
  tail[rest] = 0x80;
  const std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
  for (std::size_t i = 0; i < 8; ++i) {
    tail[blocks * 64 - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
  }
  return blocks;
}

Md5 hashOf(const std::uint32_t (&words)[4]) {
  Md5 hash{};
  for (std::size_t i = 0; i < hash.size(); ++i) {
    hash[i] = static_cast<std::uint8_t>(words[i / 4] >> (8 * (i % 4)));
  }
  return hash;
}

// Up to two lanes with the portable code.
void hashTwo(const std::uint8_t* const (&data)[2], std::size_t size, Md5 (&hashes)[2]) {
  std::uint32_t words[2][4];
  for (auto& lane : words) {
    std::copy(std::begin(detail::kMd5Start), std::end(detail::kMd5Start), lane);
  }
  for (std::size_t at = 0; at + 64 <= size; at += 64) {
    const std::uint8_t* const blocks[2] = {data[0] + at, data[1] + at};
    compressTwo(words, blocks);
  }
  std::uint8_t tails[2][128];
  const std::size_t blocks = tailBlocks(data[0], size, tails[0]);
  (void)tailBlocks(data[1], size, tails[1]);
  for (std::size_t block = 0; block < blocks; ++block) {
    const std::uint8_t* const pair[2] = {tails[0] + 64 * block, tails[1] + 64 * block};
    compressTwo(words, pair);
  }
  hashes[0] = hashOf(words[0]);
  hashes[1] = hashOf(words[1]);
}

#if defined(__x86_64__)
// 8 * C lanes with AVX2, C groups of 8 side by side.
template <std::size_t C>
void hashGroups(const std::uint8_t* const* data, std::size_t size, Md5* hashes) {
  constexpr std::size_t kLanes = C * kMd5Lanes;
  std::uint32_t words[C][4][kMd5Lanes];
  for (auto& group : words) {
    for (std::size_t k = 0; k < 4; ++k) {
      std::fill(std::begin(group[k]), std::end(group[k]), detail::kMd5Start[k]);
    }
  }
  const auto run = [&](const std::uint8_t* const* lanes, std::size_t blocks) {
    if constexpr (C == 1) {
      detail::md5BlocksAvx2(words[0], lanes, blocks);
    } else {
      detail::md5BlocksTwoAvx2(words, lanes, blocks);
    }
  };
  run(data, size / 64);
  std::uint8_t tails[kLanes][128];
  std::size_t blocks = 0;
  const std::uint8_t* tailLanes[kLanes];
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    blocks = tailBlocks(data[lane], size, tails[lane]);
    tailLanes[lane] = tails[lane];
  }
  run(tailLanes, blocks);
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    const std::uint32_t* group[4] = {words[lane / kMd5Lanes][0], words[lane / kMd5Lanes][1], words[lane / kMd5Lanes][2],
                                     words[lane / kMd5Lanes][3]};
    const std::uint32_t lanes[4] = {group[0][lane % kMd5Lanes], group[1][lane % kMd5Lanes], group[2][lane % kMd5Lanes],
                                    group[3][lane % kMd5Lanes]};
    hashes[lane] = hashOf(lanes);
  }
}

// Buffers first, first + 1, ... through hashGroups<C>; lanes past the last
// buffer hash it again, for nothing. Returns the next buffer.
template <std::size_t C>
std::size_t hashFrom(const std::uint8_t* const* data, std::size_t count, std::size_t first, std::size_t size,
                     Md5* hashes) {
  constexpr std::size_t kLanes = C * kMd5Lanes;
  const std::uint8_t* lanes[kLanes];
  for (std::size_t lane = 0; lane < kLanes; ++lane) {
    lanes[lane] = data[std::min(first + lane, count - 1)];
  }
  Md5 out[kLanes];
  hashGroups<C>(lanes, size, out);
  std::copy_n(out, std::min(kLanes, count - first), hashes + first);
  return first + kLanes;
}
#endif

}  // namespace

void md5Lanes(const std::uint8_t* const* data, std::size_t count, std::size_t size, Md5* hashes, Md5Path path) {
  std::size_t first = 0;
#if defined(__x86_64__)
  // Eight lanes take as long as one, so the last one or two buffers go
  // faster as the portable pair.
  if (path == Md5Path::Fastest && cpuHasAvx2()) {
    // Two groups of eight take little longer than one.
    while (first < count && count - first > kMd5Lanes + 2) {
      first = hashFrom<2>(data, count, first, size, hashes);
    }
    while (first < count && count - first > 2) {
      first = hashFrom<1>(data, count, first, size, hashes);
    }
  }
#endif
  for (; first < count; first += 2) {
    const std::uint8_t* const lanes[2] = {data[first], data[std::min(first + 1, count - 1)]};
    Md5 out[2];
    hashTwo(lanes, size, out);
    std::copy_n(out, std::min<std::size_t>(2, count - first), hashes + first);
  }
}

}  // namespace tidewell::par2
