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

// Branch-free on the escape mask and with the column in a local, as the
// AVX2 encoder (see there), which also shows how a step takes a line's
// first and last characters.
char* encodeAvx512(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  const __m512i plus42 = _mm512_set1_epi8(42);
  const __m512i plus64 = _mm512_set1_epi8(64);
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i equals = _mm512_set1_epi8('=');
  const __m512i tab = _mm512_set1_epi8('\t');
  const __m512i space = _mm512_set1_epi8(' ');
  const __m512i dot = _mm512_set1_epi8('.');
  const int lineLength = state.lineLength;
  int column = state.column;
  std::size_t i = 0;
  while (i < size) {
    if (i + 64 < size) {
      const __m512i data = _mm512_add_epi8(_mm512_loadu_si512(in + i), plus42);
      std::uint64_t mask = _mm512_testn_epi8_mask(data, data) | _mm512_cmpeq_epi8_mask(data, lf) |
                           _mm512_cmpeq_epi8_mask(data, cr) | _mm512_cmpeq_epi8_mask(data, equals);
      if (column == 0) {
        mask |= (_mm512_cmpeq_epi8_mask(data, tab) | _mm512_cmpeq_epi8_mask(data, space) |
                 _mm512_cmpeq_epi8_mask(data, dot)) &
                1u;
      }
      const __m512i values = _mm512_mask_add_epi8(data, mask, data, plus64);
      const unsigned low = expandThirtyTwo(values, static_cast<std::uint32_t>(mask), out);
      const unsigned high = expandThirtyTwo(_mm512_maskz_shuffle_i64x2(0xFF, values, values, 0xEE),
                                            static_cast<std::uint32_t>(mask >> 32), out + low);
      const int produced = static_cast<int>(low + high);
      if (column + produced < lineLength) {
        out += produced;
        column += produced;
        i += 64;
        continue;
      }
      int cut = bytesBeforeLineEnd(mask, lineLength - 1 - column);
      int kept = cut + __builtin_popcountll(cut >= 64 ? mask : mask & ((std::uint64_t{1} << cut) - 1u));
      if (column + kept < lineLength && cut < 64) {
        const auto last = static_cast<unsigned char>(in[i + static_cast<std::size_t>(cut)] + 42);
        if (last != '\t' && last != ' ') {
          kept += 1 + static_cast<int>((mask >> cut) & 1u);
          ++cut;
        }
      }
      out += kept;
      column += kept;
      i += static_cast<std::size_t>(cut);
      if (column >= lineLength) {
        *out++ = '\r';
        *out++ = '\n';
        column = 0;
        continue;
      }
    }
    state.column = column;
    out = encodeOne(in[i], out, state, final && i + 1 == size);
    column = state.column;
    ++i;
  }
  state.column = column;
  return out;
}

}  // namespace tidewell::yenc_detail
