#pragma once

#include <cstddef>
#include <cstdint>

#include "par2/md5.h"

// The MD5s of several buffers of the same length at once. One MD5 is a
// chain of dependent steps that leaves most of the processor idle; the
// slices of a batch all have the slice size, so their hashes run side by
// side, eight to a 256-bit register with AVX2 (two interleaved chains
// without it). Gives the same hashes as OpenSSL's (md5.h).
namespace tidewell::par2 {

// Which code runs: the fastest this processor offers, or the portable
// loop (tests compare the two).
enum class Md5Path { Fastest, Portable };

// hashes[i] = MD5 of data[i][0 .. size), for i < count (any count).
void md5Lanes(const std::uint8_t* const* data, std::size_t count, std::size_t size, Md5* hashes,
              Md5Path path = Md5Path::Fastest);

}  // namespace tidewell::par2
