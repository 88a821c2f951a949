#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "par2/md5.h"

// The packets of a PAR2 2.0 set, laid out byte for byte. Every packet is a
// 64-byte header and a body whose length is a multiple of 4; all numbers
// are little-endian.
//
//   header   8  magic "PAR2\0PKT"
//            8  length of the whole packet, header included
//           16  MD5 of the packet from the recovery set ID to its end
//           16  recovery set ID: MD5 of the main packet's body
//           16  packet type
namespace tidewell::par2 {

inline constexpr std::size_t kHeaderBytes = 64;
// A recovery slice packet before its data: the header and the exponent.
inline constexpr std::size_t kRecoveryHeadBytes = kHeaderBytes + 4;

struct SliceChecksum {
  Md5 md5{};
  std::uint32_t crc32 = 0;
};

// What the set says about one file.
struct FileEntry {
  std::string name;  // as given, UTF-8
  std::uint64_t size = 0;
  Md5 id{};
  Md5 hash{};                         // the whole file
  Md5 head{};                         // its first 16 KiB
  std::vector<SliceChecksum> slices;  // the last slice padded with zeros
};

// The bytes of a file the first-16k hash covers.
inline constexpr std::uint64_t kHeadBytes = 16384;

// File ID: MD5 of the first-16k hash, the length (8 bytes) and the name.
[[nodiscard]] Md5 fileIdOf(const Md5& head, std::uint64_t size, std::string_view name);
// The order of file IDs in the main packet: as 16-byte little-endian
// numbers.
[[nodiscard]] bool fileIdBefore(const Md5& a, const Md5& b);

// main: slice size (8), file count (4), the file IDs in order.
[[nodiscard]] std::string mainBody(std::uint64_t sliceSize, const std::vector<Md5>& orderedIds);
// file description: file ID, MD5 of the file, MD5 of its first 16 KiB,
// length (8), name padded with zeros to a multiple of 4.
[[nodiscard]] std::string fileDescriptionBody(const FileEntry& file);
// input file slice checksums: file ID, then MD5 and CRC-32 of each slice.
[[nodiscard]] std::string sliceChecksumBody(const FileEntry& file);
// creator: the program's name, padded with zeros to a multiple of 4.
[[nodiscard]] std::string creatorBody(std::string_view creator);

enum class PacketType { Main, FileDescription, SliceChecksum, Creator };

// A whole packet of `type` around `body` (a multiple of 4 bytes).
[[nodiscard]] std::string packet(const Md5& setId, PacketType type, std::string_view body);

// The header and exponent of a recovery slice packet for `data`, the
// slice's bytes, which follow it in the file.
[[nodiscard]] std::string recoveryHead(const Md5& setId, std::uint32_t exponent, const std::uint8_t* data,
                                       std::size_t size);

}  // namespace tidewell::par2
