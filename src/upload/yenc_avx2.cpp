// The yEnc line encoder 32 bytes at a time with AVX2. Built with -mavx2
// -mpopcnt (see CMakeLists.txt) and called only when the processor has
// both; nothing here is shared inline code (see yenc_kernels.h).

#include <immintrin.h>

#include "upload/yenc_kernels.h"

namespace tidewell::yenc_detail {
namespace {

constexpr ExpandTable kTable = makeExpandTable();

inline unsigned expandEight(__m128i values, unsigned mask, char* out) {
  const __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(kTable.index[mask]));
  const __m128i equals = _mm_load_si128(reinterpret_cast<const __m128i*>(kTable.equals[mask]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_shuffle_epi8(values, index), equals));
  return kTable.count[mask];
}

}  // namespace

// The column lives in a local: stores through `out` could alias `state`,
// which would make the compiler reload it after every store. A step may
// start a line (its first byte then also escapes TAB, space and "."), and
// when the line fills inside a step, the byte that ends it stays with the
// step unless it is a TAB or space (those are escaped at a line's end:
// encodeOne takes them). The part's last byte never falls in a step.
char* encodeAvx2(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  const __m256i plus42 = _mm256_set1_epi8(42);
  const __m256i plus64 = _mm256_set1_epi8(64);
  const __m256i nul = _mm256_setzero_si256();
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i equals = _mm256_set1_epi8('=');
  const __m256i tab = _mm256_set1_epi8('\t');
  const __m256i space = _mm256_set1_epi8(' ');
  const __m256i dot = _mm256_set1_epi8('.');
  const int lineLength = state.lineLength;
  int column = state.column;
  std::size_t i = 0;
  while (i < size) {
    if (i + 32 < size) {
      const __m256i data = _mm256_add_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i)), plus42);
      __m256i critical = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(data, nul), _mm256_cmpeq_epi8(data, lf)),
                                         _mm256_or_si256(_mm256_cmpeq_epi8(data, cr), _mm256_cmpeq_epi8(data, equals)));
      if (column == 0) {
        const __m256i starting =
            _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(data, tab), _mm256_cmpeq_epi8(data, space)),
                            _mm256_cmpeq_epi8(data, dot));
        critical = _mm256_or_si256(critical, _mm256_and_si256(starting, _mm256_setr_epi64x(0xFF, 0, 0, 0)));
      }
      const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(critical));
      // Without a branch on the mask: escapes are too common in binary data
      // for one to be predicted.
      const __m256i values = _mm256_add_epi8(data, _mm256_and_si256(critical, plus64));
      const __m128i low = _mm256_castsi256_si128(values);
      const __m128i high = _mm256_extracti128_si256(values, 1);
      char* at = out;
      at += expandEight(low, mask & 0xFFu, at);
      at += expandEight(_mm_srli_si128(low, 8), (mask >> 8) & 0xFFu, at);
      at += expandEight(high, (mask >> 16) & 0xFFu, at);
      at += expandEight(_mm_srli_si128(high, 8), mask >> 24, at);
      const int produced = static_cast<int>(at - out);
      if (column + produced < lineLength) {
        out = at;
        column += produced;
        i += 32;
        continue;
      }
      int cut = bytesBeforeLineEnd(mask, lineLength - 1 - column);
      int kept = cut + __builtin_popcount(cut >= 32 ? mask : mask & ((1u << cut) - 1u));
      if (column + kept < lineLength && cut < 32) {
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
