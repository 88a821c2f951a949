#pragma once

#include <cstddef>
#include <cstdint>

#include "par2/gf16.h"

// The SIMD multiply-add kernels, each in its own file built with its own
// processor flags (gf16_ssse3.cpp, gf16_avx2.cpp). Each handles whole
// vectors and returns the bytes it did; the caller finishes the rest with
// the portable loop.
namespace tidewell::gf16::detail {

std::size_t mulAddSsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table);
std::size_t mulAddAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table);
// The same on the split layout (size a multiple of 64; all of it is done).
void mulAddSplitSsse3(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table);
void mulAddSplitAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table);

}  // namespace tidewell::gf16::detail
