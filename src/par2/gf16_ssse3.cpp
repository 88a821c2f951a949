#include <immintrin.h>

#include "par2/gf16_kernels.h"

namespace tidewell::gf16::detail {

// 16 words (32 bytes) a step. The words' low and high bytes are gathered
// into one register each, their four nibbles look up the products in eight
// 16-entry tables (PSHUFB), and the low and high result bytes are woven back
// into words.
std::size_t mulAddSsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table) {
  const __m128i nibble = _mm_set1_epi8(0x0f);
  const __m128i gather = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  __m128i low[4];
  __m128i high[4];
  for (int k = 0; k < 4; ++k) {
    low[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(table.low[k]));
    high[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(table.high[k]));
  }
  std::size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), gather);
    const __m128i b = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16)), gather);
    const __m128i lo = _mm_unpacklo_epi64(a, b);
    const __m128i hi = _mm_unpackhi_epi64(a, b);
    const __m128i n0 = _mm_and_si128(lo, nibble);
    const __m128i n1 = _mm_and_si128(_mm_srli_epi16(lo, 4), nibble);
    const __m128i n2 = _mm_and_si128(hi, nibble);
    const __m128i n3 = _mm_and_si128(_mm_srli_epi16(hi, 4), nibble);
    const __m128i rlo = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(low[0], n0), _mm_shuffle_epi8(low[1], n1)),
                                      _mm_xor_si128(_mm_shuffle_epi8(low[2], n2), _mm_shuffle_epi8(low[3], n3)));
    const __m128i rhi = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(high[0], n0), _mm_shuffle_epi8(high[1], n1)),
                                      _mm_xor_si128(_mm_shuffle_epi8(high[2], n2), _mm_shuffle_epi8(high[3], n3)));
    auto* out = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(out, _mm_xor_si128(_mm_loadu_si128(out), _mm_unpacklo_epi8(rlo, rhi)));
    _mm_storeu_si128(out + 1, _mm_xor_si128(_mm_loadu_si128(out + 1), _mm_unpackhi_epi8(rlo, rhi)));
  }
  return i;
}

void mulAddSplitSsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table) {
  const __m128i nibble = _mm_set1_epi8(0x0f);
  __m128i low[4];
  __m128i high[4];
  for (int k = 0; k < 4; ++k) {
    low[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(table.low[k]));
    high[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(table.high[k]));
  }
  // Each 64-byte block: low bytes at 0 and 16, their high bytes 32 further.
  for (std::size_t block = 0; block + 64 <= size; block += 64) {
    for (std::size_t half = 0; half < 32; half += 16) {
      const std::size_t at = block + half;
      const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + at));
      const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + at + 32));
      const __m128i n0 = _mm_and_si128(lo, nibble);
      const __m128i n1 = _mm_and_si128(_mm_srli_epi16(lo, 4), nibble);
      const __m128i n2 = _mm_and_si128(hi, nibble);
      const __m128i n3 = _mm_and_si128(_mm_srli_epi16(hi, 4), nibble);
      const __m128i rlo = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(low[0], n0), _mm_shuffle_epi8(low[1], n1)),
                                        _mm_xor_si128(_mm_shuffle_epi8(low[2], n2), _mm_shuffle_epi8(low[3], n3)));
      const __m128i rhi = _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(high[0], n0), _mm_shuffle_epi8(high[1], n1)),
                                        _mm_xor_si128(_mm_shuffle_epi8(high[2], n2), _mm_shuffle_epi8(high[3], n3)));
      auto* outLo = reinterpret_cast<__m128i*>(dst + at);
      auto* outHi = reinterpret_cast<__m128i*>(dst + at + 32);
      _mm_storeu_si128(outLo, _mm_xor_si128(_mm_loadu_si128(outLo), rlo));
      _mm_storeu_si128(outHi, _mm_xor_si128(_mm_loadu_si128(outHi), rhi));
    }
  }
}

}  // namespace tidewell::gf16::detail
