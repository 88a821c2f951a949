// The yEnc line encoder 16 bytes at a time with SSSE3. Built with -mssse3
// (see CMakeLists.txt) and called only when the processor has it; nothing
// here is shared inline code (see yenc_kernels.h).

#include <immintrin.h>

#include "upload/yenc_expand.h"
#include "upload/yenc_kernels.h"

namespace tidewell::yenc_detail {

// Steps of 16 bytes inside a line (see encodeInSteps).
char* encodeSsse3(const unsigned char* in, std::size_t size, char* out, LineState& state, bool final) {
  const __m128i plus42 = _mm_set1_epi8(42);
  const __m128i plus64 = _mm_set1_epi8(64);
  const __m128i nul = _mm_setzero_si128();
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i equals = _mm_set1_epi8('=');
  const auto step = [&](const unsigned char* from, bool /*lineStart*/, char* to, unsigned& mask) {
    const __m128i data = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)), plus42);
    const __m128i critical = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(data, nul), _mm_cmpeq_epi8(data, lf)),
                                          _mm_or_si128(_mm_cmpeq_epi8(data, cr), _mm_cmpeq_epi8(data, equals)));
    mask = static_cast<unsigned>(_mm_movemask_epi8(critical));
    const __m128i values = _mm_add_epi8(data, _mm_and_si128(critical, plus64));
    to += expandEight(values, mask & 0xFFu, to);
    return to + expandEight(_mm_srli_si128(values, 8), mask >> 8, to);
  };
  return encodeInSteps<unsigned, 16, false>(in, size, out, state, final, step);
}

}  // namespace tidewell::yenc_detail
