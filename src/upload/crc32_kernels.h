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

}  // namespace tidewell::crc_detail
