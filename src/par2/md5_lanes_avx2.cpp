#include <immintrin.h>

#include <utility>

#include "par2/md5_lanes_kernels.h"

namespace tidewell::par2::detail {

namespace {

// Step I of the 64 on all lanes. The four state words take turns as the
// one that changes: a, d, c, b, a, ...
template <int I>
inline void step(__m256i (&v)[4], const __m256i (&m)[16]) {
  constexpr int kRound = I / 16;
  constexpr int kTarget = (4 - I % 4) % 4;
  __m256i& a = v[kTarget];
  const __m256i b = v[(kTarget + 1) % 4];
  const __m256i c = v[(kTarget + 2) % 4];
  const __m256i d = v[(kTarget + 3) % 4];
  // a, the constant and the message word are known early; the sum waits
  // only for f, and f for as few steps after b as each round allows.
  const __m256i early =
      _mm256_add_epi32(a, _mm256_add_epi32(_mm256_set1_epi32(static_cast<int>(kMd5Sine[I])), m[md5Message(I)]));
  __m256i f;
  if constexpr (kRound == 0) {
    f = _mm256_xor_si256(d, _mm256_and_si256(b, _mm256_xor_si256(c, d)));
  } else if constexpr (kRound == 1) {
    f = _mm256_or_si256(_mm256_and_si256(b, d), _mm256_andnot_si256(d, c));
  } else if constexpr (kRound == 2) {
    f = _mm256_xor_si256(b, _mm256_xor_si256(c, d));
  } else {
    f = _mm256_xor_si256(c, _mm256_or_si256(b, _mm256_xor_si256(d, _mm256_set1_epi32(-1))));
  }
  const __m256i sum = _mm256_add_epi32(early, f);
  constexpr int kShift = kMd5Rotate[kRound][I % 4];
  a = _mm256_add_epi32(b, _mm256_or_si256(_mm256_slli_epi32(sum, kShift), _mm256_srli_epi32(sum, 32 - kShift)));
}

// Words `first` to first + 7 of the 8 lanes' blocks, turned so that
// m[first + k] holds word first + k of every lane.
inline void gather(const std::uint8_t* const* lanes, std::size_t at, int first, __m256i (&m)[16]) {
  __m256i r[8];
  for (int lane = 0; lane < 8; ++lane) {
    r[lane] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lanes[lane] + at + 4 * first));
  }
  __m256i t[8];
  for (int k = 0; k < 4; ++k) {
    t[2 * k] = _mm256_unpacklo_epi32(r[2 * k], r[2 * k + 1]);
    t[2 * k + 1] = _mm256_unpackhi_epi32(r[2 * k], r[2 * k + 1]);
  }
  __m256i u[8];
  for (int half = 0; half < 2; ++half) {
    const int base = 4 * half;
    u[base] = _mm256_unpacklo_epi64(t[base], t[base + 2]);
    u[base + 1] = _mm256_unpackhi_epi64(t[base], t[base + 2]);
    u[base + 2] = _mm256_unpacklo_epi64(t[base + 1], t[base + 3]);
    u[base + 3] = _mm256_unpackhi_epi64(t[base + 1], t[base + 3]);
  }
  for (int k = 0; k < 4; ++k) {
    m[first + k] = _mm256_permute2x128_si256(u[k], u[k + 4], 0x20);
    m[first + k + 4] = _mm256_permute2x128_si256(u[k], u[k + 4], 0x31);
  }
}

// C groups of 8 lanes, their chains of steps interleaved.
template <int C>
void blocks(std::uint32_t (*words)[4][kMd5Lanes], const std::uint8_t* const* lanes, std::size_t count) {
  __m256i v[C][4];
  for (int g = 0; g < C; ++g) {
    for (int k = 0; k < 4; ++k) {
      v[g][k] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words[g][k]));
    }
  }
  for (std::size_t block = 0; block < count; ++block) {
    __m256i m[C][16];
    __m256i before[C][4];
    for (int g = 0; g < C; ++g) {
      gather(lanes + 8 * g, block * 64, 0, m[g]);
      gather(lanes + 8 * g, block * 64, 8, m[g]);
      for (int k = 0; k < 4; ++k) {
        before[g][k] = v[g][k];
      }
    }
    [&]<int... I>(std::integer_sequence<int, I...>) {
      (
          [&] {
            for (int g = 0; g < C; ++g) {
              step<I>(v[g], m[g]);
            }
          }(),
          ...);
    }
    (std::make_integer_sequence<int, 64>{});
    for (int g = 0; g < C; ++g) {
      for (int k = 0; k < 4; ++k) {
        v[g][k] = _mm256_add_epi32(v[g][k], before[g][k]);
      }
    }
  }
  for (int g = 0; g < C; ++g) {
    for (int k = 0; k < 4; ++k) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(words[g][k]), v[g][k]);
    }
  }
}

}  // namespace

void md5BlocksAvx2(std::uint32_t (&words)[4][kMd5Lanes], const std::uint8_t* const* lanes, std::size_t count) {
  blocks<1>(&words, lanes, count);
}

void md5BlocksTwoAvx2(std::uint32_t (&words)[2][4][kMd5Lanes], const std::uint8_t* const* lanes, std::size_t count) {
  blocks<2>(words, lanes, count);
}

}  // namespace tidewell::par2::detail
