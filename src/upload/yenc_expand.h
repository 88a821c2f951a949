#pragma once

// The 8-byte expand by table that the SSSE3 and AVX2 yEnc encoders share:
// included only by those two files (the instructions need SSSE3), with
// internal linkage, so each builds its own copy with its own flags.

#include <immintrin.h>

#include "upload/yenc_kernels.h"

namespace tidewell::yenc_detail {
namespace {

// For an 8-bit escape mask: where each of 16 output bytes comes from (the
// index of the source byte, or 0x80 where the "=" goes), for pshufb.
struct ExpandTable {
  alignas(16) unsigned char index[256][16];
  alignas(16) unsigned char equals[256][16];
  unsigned char count[256];  // output bytes: 8 + escapes
};

constexpr ExpandTable makeExpandTable() {
  ExpandTable table{};
  for (unsigned mask = 0; mask < 256; ++mask) {
    unsigned at = 0;
    for (unsigned i = 0; i < 8; ++i) {
      if ((mask >> i & 1u) != 0) {
        table.index[mask][at] = 0x80;
        table.equals[mask][at] = kEscape;
        ++at;
      }
      table.index[mask][at] = static_cast<unsigned char>(i);
      ++at;
    }
    for (; at < 16; ++at) {
      table.index[mask][at] = 0x80;
    }
    table.count[mask] = static_cast<unsigned char>(8 + __builtin_popcount(mask));
  }
  return table;
}

constexpr ExpandTable kTable = makeExpandTable();

// Writes the 8 encoded bytes in the low half of `values` with an "=" before
// each one marked in `mask`; returns how many bytes that makes.
inline unsigned expandEight(__m128i values, unsigned mask, char* out) {
  const __m128i index = _mm_load_si128(reinterpret_cast<const __m128i*>(kTable.index[mask]));
  const __m128i equals = _mm_load_si128(reinterpret_cast<const __m128i*>(kTable.equals[mask]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_shuffle_epi8(values, index), equals));
  return kTable.count[mask];
}

}  // namespace
}  // namespace tidewell::yenc_detail
