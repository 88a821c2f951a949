#include <immintrin.h>

#include "par2/gf16_kernels.h"

namespace tidewell::gf16::detail {

// The SSSE3 step on 256-bit registers: 32 words (64 bytes) a step. The
// shuffles work within each 128-bit half, so the gathered registers hold
// words 0-7 and 16-23 in the low half and 8-15 and 24-31 in the high half;
// weaving the results back within halves puts every word where it was.
std::size_t mulAddAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table) {
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i gather = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15,  //
                                          0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  __m256i low[4];
  __m256i high[4];
  for (int k = 0; k < 4; ++k) {
    low[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table.low[k])));
    high[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table.high[k])));
  }
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m256i a = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)), gather);
    const __m256i b = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32)), gather);
    const __m256i lo = _mm256_unpacklo_epi64(a, b);
    const __m256i hi = _mm256_unpackhi_epi64(a, b);
    const __m256i n0 = _mm256_and_si256(lo, nibble);
    const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(lo, 4), nibble);
    const __m256i n2 = _mm256_and_si256(hi, nibble);
    const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(hi, 4), nibble);
    const __m256i rlo =
        _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(low[0], n0), _mm256_shuffle_epi8(low[1], n1)),
                         _mm256_xor_si256(_mm256_shuffle_epi8(low[2], n2), _mm256_shuffle_epi8(low[3], n3)));
    const __m256i rhi =
        _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(high[0], n0), _mm256_shuffle_epi8(high[1], n1)),
                         _mm256_xor_si256(_mm256_shuffle_epi8(high[2], n2), _mm256_shuffle_epi8(high[3], n3)));
    auto* out = reinterpret_cast<__m256i*>(dst + i);
    _mm256_storeu_si256(out, _mm256_xor_si256(_mm256_loadu_si256(out), _mm256_unpacklo_epi8(rlo, rhi)));
    _mm256_storeu_si256(out + 1, _mm256_xor_si256(_mm256_loadu_si256(out + 1), _mm256_unpackhi_epi8(rlo, rhi)));
  }
  return i;
}

void mulAddSplitAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table) {
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  __m256i low[4];
  __m256i high[4];
  for (int k = 0; k < 4; ++k) {
    low[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table.low[k])));
    high[k] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table.high[k])));
  }
  // Each 64-byte block: 32 low bytes, then the same words' high bytes.
  for (std::size_t at = 0; at + 64 <= size; at += 64) {
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + at));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + at + 32));
    const __m256i n0 = _mm256_and_si256(lo, nibble);
    const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(lo, 4), nibble);
    const __m256i n2 = _mm256_and_si256(hi, nibble);
    const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(hi, 4), nibble);
    const __m256i rlo =
        _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(low[0], n0), _mm256_shuffle_epi8(low[1], n1)),
                         _mm256_xor_si256(_mm256_shuffle_epi8(low[2], n2), _mm256_shuffle_epi8(low[3], n3)));
    const __m256i rhi =
        _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(high[0], n0), _mm256_shuffle_epi8(high[1], n1)),
                         _mm256_xor_si256(_mm256_shuffle_epi8(high[2], n2), _mm256_shuffle_epi8(high[3], n3)));
    auto* outLo = reinterpret_cast<__m256i*>(dst + at);
    auto* outHi = reinterpret_cast<__m256i*>(dst + at + 32);
    _mm256_storeu_si256(outLo, _mm256_xor_si256(_mm256_loadu_si256(outLo), rlo));
    _mm256_storeu_si256(outHi, _mm256_xor_si256(_mm256_loadu_si256(outHi), rhi));
  }
}

}  // namespace tidewell::gf16::detail
