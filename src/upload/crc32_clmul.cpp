// Built with -mpclmul -mssse3 (see CMakeLists.txt) and called only when the
// processor has both. Nothing here may be inline code shared with other
// files: a shared copy built with these flags could be the one the linker
// keeps for the whole program.

#include <immintrin.h>

#include "upload/crc32_kernels.h"

namespace tidewell::crc_detail {
namespace {

// Folding constants for the reflected CRC-32 polynomial: x^(4*128+32),
// x^(4*128-32) mod P for folding four blocks at once, x^(128+32), x^(128-32)
// for one block, x^64 for 64 to 32 bits, and P and its Barrett inverse.
constexpr long long kFold4Low = 0x154442bd4LL;
constexpr long long kFold4High = 0x1c6e41596LL;
constexpr long long kFold1Low = 0x1751997d0LL;
constexpr long long kFold1High = 0x0ccaa009eLL;
constexpr long long kFold64 = 0x163cd6124LL;
constexpr long long kPoly = 0x1db710641LL;
constexpr long long kBarrett = 0x1f7011641LL;

inline __m128i fold(__m128i value, __m128i constants, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(value, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(value, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

inline __m128i load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

}  // namespace

std::uint32_t clmulFold(std::uint32_t state, const unsigned char* data, std::size_t size) {
  const __m128i k12 = _mm_set_epi64x(kFold4High, kFold4Low);
  __m128i x[4] = {_mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(state)))};
  foldFourAtATime<16>(
      x, data, size, [](const unsigned char* p) { return load(p); },
      [&](__m128i value, __m128i next) { return fold(value, k12, next); });

  const __m128i k34 = _mm_set_epi64x(kFold1High, kFold1Low);
  __m128i x1 = fold(x[0], k34, x[1]);
  x1 = fold(x1, k34, x[2]);
  x1 = fold(x1, k34, x[3]);
  while (size >= 16) {
    x1 = fold(x1, k34, load(data));
    data += 16;
    size -= 16;
  }

  // 128 bits to 64, then to 32, then the Barrett reduction.
  const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
  __m128i x2r = _mm_clmulepi64_si128(x1, k34, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2r);
  const __m128i k5 = _mm_set_epi64x(0, kFold64);
  x2r = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), x2r);

  const __m128i poly = _mm_set_epi64x(kBarrett, kPoly);
  x2r = _mm_and_si128(x1, low32);
  x2r = _mm_clmulepi64_si128(x2r, poly, 0x10);
  x2r = _mm_and_si128(x2r, low32);
  x2r = _mm_clmulepi64_si128(x2r, poly, 0x00);
  x1 = _mm_xor_si128(x1, x2r);
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

}  // namespace tidewell::crc_detail
