#pragma once

#include <cstddef>
#include <cstdint>

namespace tidewell {

// CRC-32 as zlib, PNG and yEnc use it (reflected polynomial 0xEDB88320,
// start and final value inverted): crc32Update(0, data, n) is the CRC of the
// bytes, and feeding a file in pieces gives the CRC of the whole.

// Which code computes it: the fastest the processor offers (carry-less
// multiply where present, on 512-bit registers with AVX-512), or the
// portable table (tests compare the two).
enum class CrcPath { Fastest, Table };

[[nodiscard]] std::uint32_t crc32Update(std::uint32_t crc, const void* data, std::size_t size,
                                        CrcPath path = CrcPath::Fastest);

// The CRC of A followed by B, from the CRC of A, the CRC of B and the length
// of B: the whole file's CRC from the CRCs of its parts.
[[nodiscard]] std::uint32_t crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::int64_t lengthB);

// Whether the carry-less multiply path runs on this processor.
[[nodiscard]] bool haveClmulCrc();

}  // namespace tidewell
