// The CRC-32 folding loop four 512-bit registers at a time with VPCLMULQDQ
// (AVX-512). Built with -mavx512f -mvpclmulqdq -mpclmul -mssse3 (see
// CMakeLists.txt) and called only when the processor has them all; nothing
// here is shared inline code (see crc32_clmul.cpp).

#include <immintrin.h>

#include "upload/crc32_kernels.h"

namespace tidewell::crc_detail {
namespace {

// x^(2048+32) and x^(2048-32) mod P, bit-reflected: folds 256 bytes ahead.
constexpr long long kFold16Low = 0x11542778aLL;
constexpr long long kFold16High = 0x1322d1430LL;

inline __m512i fold(__m512i value, __m512i constants, __m512i next) {
  const __m512i low = _mm512_clmulepi64_epi128(value, constants, 0x00);
  const __m512i high = _mm512_clmulepi64_epi128(value, constants, 0x11);
  return _mm512_ternarylogic_epi64(low, high, next, 0x96);  // three-way xor
}

}  // namespace

std::uint32_t vpclmulFold(std::uint32_t state, const unsigned char* data, std::size_t size) {
  const __m512i constants = _mm512_set4_epi64(kFold16High, kFold16Low, kFold16High, kFold16Low);
  __m512i x[4] = {
      _mm512_xor_si512(_mm512_loadu_si512(data), _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(state))))};
  foldFourAtATime<64>(
      x, data, size, [](const unsigned char* p) { return _mm512_loadu_si512(p); },
      [&](__m512i value, __m512i next) { return fold(value, constants, next); });
  // The registers stand for 256 bytes of text with the state already in
  // them: the 128-bit loop finishes them and the rest (under 256 bytes).
  alignas(64) unsigned char rest[512];
  _mm512_store_si512(rest, x[0]);
  _mm512_store_si512(rest + 64, x[1]);
  _mm512_store_si512(rest + 128, x[2]);
  _mm512_store_si512(rest + 192, x[3]);
  __builtin_memcpy(rest + 256, data, size);
  return clmulFold(0, rest, 256 + size);
}

}  // namespace tidewell::crc_detail
