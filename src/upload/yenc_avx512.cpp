// The yEnc line encoder 64 bytes at a time with AVX-512 VBMI2 (the byte
// expand instruction places the encoded bytes around their escapes). Built
// with -mavx512f -mavx512bw -mavx512vbmi2 -mbmi2 -mpopcnt (see
// CMakeLists.txt) and called only when the processor has them all; nothing
// here is shared inline code (see yenc_kernels.h).

#include <immintrin.h>

#include "upload/yenc_kernels.h"

namespace tidewell::yenc_detail {
namespace {

// Writes the 32 encoded bytes in `values` with an "=" before each one
// marked in `mask`; returns how many bytes that makes. Each byte takes an
// output slot, an escaped one a slot for its "=" first: the expand mask
// marks the data slots among all of them.
inline unsigned expandThirtyTwo(__m512i values, std::uint32_t mask, char* out) {
  const std::uint64_t slots = 0xAAAAAAAAAAAAAAAAull | _pdep_u64(mask, 0x5555555555555555ull);
  const std::uint64_t data = _pext_u64(0xAAAAAAAAAAAAAAAAull, slots);
  const __m512i expanded = _mm512_maskz_expand_epi8(data, values);
  _mm512_storeu_si512(out, _mm512_mask_mov_epi8(expanded, ~data, _mm512_set1_epi8('=')));
  return 32 + static_cast<unsigned>(__builtin_popcount(mask));
}

}  // namespace

// Steps of 64 bytes that also take a line's first and last characters
// (see encodeInSteps).
char* encodeAvx512(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  const __m512i plus42 = _mm512_set1_epi8(42);
  const __m512i plus64 = _mm512_set1_epi8(64);
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i equals = _mm512_set1_epi8('=');
  const __m512i tab = _mm512_set1_epi8('\t');
  const __m512i space = _mm512_set1_epi8(' ');
  const __m512i dot = _mm512_set1_epi8('.');
  const auto step = [&](const unsigned char* from, bool lineStart, char* to, std::uint64_t& mask) {
    const __m512i data = _mm512_add_epi8(_mm512_loadu_si512(from), plus42);
    mask = _mm512_testn_epi8_mask(data, data) | _mm512_cmpeq_epi8_mask(data, lf) | _mm512_cmpeq_epi8_mask(data, cr) |
           _mm512_cmpeq_epi8_mask(data, equals);
    if (lineStart) {
      mask |= (_mm512_cmpeq_epi8_mask(data, tab) | _mm512_cmpeq_epi8_mask(data, space) |
               _mm512_cmpeq_epi8_mask(data, dot)) &
              1u;
    }
    const __m512i values = _mm512_mask_add_epi8(data, mask, data, plus64);
    to += expandThirtyTwo(values, static_cast<std::uint32_t>(mask), to);
    return to + expandThirtyTwo(_mm512_maskz_shuffle_i64x2(0xFF, values, values, 0xEE),
                                static_cast<std::uint32_t>(mask >> 32), to);
  };
  return encodeInSteps<std::uint64_t, 64, true>(in, size, out, state, final, step);
}

}  // namespace tidewell::yenc_detail
