#pragma once

#include <cstddef>
#include <cstdint>

namespace tidewell::crc_detail {

// The folding loop over whole 16-byte blocks (at least 64 bytes), built with
// the carry-less multiply enabled (crc32_clmul.cpp); `state` and the result
// are the inverted running value, as in the table loop.
std::uint32_t clmulFold(std::uint32_t state, const unsigned char* data, std::size_t size);
// The same four 512-bit registers at a time (crc32_vpclmul.cpp, AVX-512 and
// VPCLMULQDQ), for at least 256 bytes.
std::uint32_t vpclmulFold(std::uint32_t state, const unsigned char* data, std::size_t size);

namespace {

// The main loop of both folding kernels: four registers of kWidth bytes
// (the first already holding the running value) are loaded from `data`, then
// fold in the next 4 * kWidth bytes while there are that many; `data` and
// `size` end at the rest. `load` and `fold(value, next)` are the kernel's
// own instructions. Internal linkage: each kernel file builds its own copy
// with its own processor flags, and none leaks into the baseline code.
template <std::size_t kWidth, typename Vector, typename Load, typename Fold>
inline void foldFourAtATime(Vector (&x)[4], const unsigned char*& data, std::size_t& size, Load load, Fold fold) {
  for (std::size_t k = 1; k < 4; ++k) {
    x[k] = load(data + k * kWidth);
  }
  data += 4 * kWidth;
  size -= 4 * kWidth;
  while (size >= 4 * kWidth) {
    x[0] = fold(x[0], load(data));
    x[1] = fold(x[1], load(data + kWidth));
    x[2] = fold(x[2], load(data + 2 * kWidth));
    x[3] = fold(x[3], load(data + 3 * kWidth));
    data += 4 * kWidth;
    size -= 4 * kWidth;
  }
}

}  // namespace

}  // namespace tidewell::crc_detail
