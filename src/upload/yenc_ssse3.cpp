// The yEnc line encoder 16 bytes at a time with SSSE3. Built with -mssse3
// (see CMakeLists.txt) and called only when the processor has it; nothing
// here is shared inline code (see yenc_kernels.h).

#include <immintrin.h>

#include "upload/yenc_kernels.h"

namespace tidewell::yenc_detail {
namespace {

constexpr ExpandTable kTable = makeExpandTable();

inline __m128i loadIndex(unsigned mask) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kTable.index[mask]));
}
inline __m128i loadEquals(unsigned mask) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kTable.equals[mask]));
}

// Writes the 8 encoded bytes in the low half of `values` with an "=" before
// each one marked in `mask`; returns how many bytes that makes.
inline unsigned expandEight(__m128i values, unsigned mask, char* out) {
  const __m128i expanded = _mm_or_si128(_mm_shuffle_epi8(values, loadIndex(mask)), loadEquals(mask));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), expanded);
  return kTable.count[mask];
}

}  // namespace

// Branch-free on the escape mask and with the column in a local, as the
// AVX2 encoder (see there).
char* encodeSsse3(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  const __m128i plus42 = _mm_set1_epi8(42);
  const __m128i plus64 = _mm_set1_epi8(64);
  const __m128i nul = _mm_setzero_si128();
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i equals = _mm_set1_epi8('=');
  const int lineLength = state.lineLength;
  int column = state.column;
  std::size_t i = 0;
  while (i < size) {
    // Whole steps run inside a line; the first and last character of each
    // line and the part's last byte go through encodeOne.
    if (column > 0 && i + 16 < size) {
      const __m128i data = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)), plus42);
      const __m128i critical = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(data, nul), _mm_cmpeq_epi8(data, lf)),
                                            _mm_or_si128(_mm_cmpeq_epi8(data, cr), _mm_cmpeq_epi8(data, equals)));
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(critical));
      const __m128i values = _mm_add_epi8(data, _mm_and_si128(critical, plus64));
      const unsigned low = expandEight(values, mask & 0xFFu, out);
      const int produced = static_cast<int>(low + expandEight(_mm_srli_si128(values, 8), mask >> 8, out + low));
      if (column + produced < lineLength) {
        out += produced;
        column += produced;
        i += 16;
        continue;
      }
      const int cut = bytesBeforeLineEnd(mask, lineLength - 1 - column);
      const int kept = cut + __builtin_popcount(mask & ((1u << cut) - 1u));
      out += kept;
      column += kept;
      i += static_cast<std::size_t>(cut);
      if (column >= lineLength) {
        *out++ = '\r';
        *out++ = '\n';
        column = 0;
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
