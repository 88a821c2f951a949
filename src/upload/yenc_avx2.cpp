// The yEnc line encoder 32 bytes at a time with AVX2. Built with -mavx2
// -mpopcnt (see CMakeLists.txt) and called only when the processor has
// both; nothing here is shared inline code (see yenc_kernels.h).

#include <immintrin.h>

#include "upload/yenc_expand.h"
#include "upload/yenc_kernels.h"

namespace tidewell::yenc_detail {

// Steps of 32 bytes that also take a line's first and last characters
// (see encodeInSteps).
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
  const auto step = [&](const unsigned char* from, bool lineStart, char* to, unsigned& mask) {
    const __m256i data = _mm256_add_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)), plus42);
    __m256i critical = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(data, nul), _mm256_cmpeq_epi8(data, lf)),
                                       _mm256_or_si256(_mm256_cmpeq_epi8(data, cr), _mm256_cmpeq_epi8(data, equals)));
    if (lineStart) {
      const __m256i starting = _mm256_or_si256(
          _mm256_or_si256(_mm256_cmpeq_epi8(data, tab), _mm256_cmpeq_epi8(data, space)), _mm256_cmpeq_epi8(data, dot));
      critical = _mm256_or_si256(critical, _mm256_and_si256(starting, _mm256_setr_epi64x(0xFF, 0, 0, 0)));
    }
    mask = static_cast<unsigned>(_mm256_movemask_epi8(critical));
    const __m256i values = _mm256_add_epi8(data, _mm256_and_si256(critical, plus64));
    const __m128i low = _mm256_castsi256_si128(values);
    const __m128i high = _mm256_extracti128_si256(values, 1);
    to += expandEight(low, mask & 0xFFu, to);
    to += expandEight(_mm_srli_si128(low, 8), (mask >> 8) & 0xFFu, to);
    to += expandEight(high, (mask >> 16) & 0xFFu, to);
    return to + expandEight(_mm_srli_si128(high, 8), mask >> 24, to);
  };
  return encodeInSteps<unsigned, 32, true>(in, size, out, state, final, step);
}

}  // namespace tidewell::yenc_detail
