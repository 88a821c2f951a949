#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "upload/encode_streams.h"
#include "upload/encoder.h"
#include "upload/file_io.h"

namespace tidewell {
namespace {

// A uuencoded line carries at most 45 source bytes: the length character,
// 15 groups of 4 characters for 3 bytes each, then CR LF.
constexpr std::size_t kLineBytes = 45;
constexpr std::size_t kEncodedLineBytes = 1 + 60 + 2;
static_assert(kEncodedLineBytes == 63);
// Source bytes read per block; a whole number of lines, about 720 KiB, so
// memory stays the same whatever the file size.
constexpr std::size_t kBlockLines = 16384;
constexpr std::size_t kBlockBytes = kBlockLines * kLineBytes;

// A 6-bit value v is written as (v & 0x3F) + 0x20, except that 0 becomes
// the backquote rather than a space, so no data line holds a space.
constexpr char encodeSix(unsigned value) {
  const unsigned six = value & 0x3Fu;
  return six == 0 ? '`' : static_cast<char>(six + 0x20u);
}

// Two encoded characters for every 12-bit value, in memory order, so a group
// of 3 bytes is written with two table loads.
constexpr std::array<std::uint16_t, 4096> makePairTable() {
  std::array<std::uint16_t, 4096> table{};
  for (unsigned v = 0; v < 4096; ++v) {
    const auto first = static_cast<std::uint16_t>(static_cast<unsigned char>(encodeSix(v >> 6)));
    const auto second = static_cast<std::uint16_t>(static_cast<unsigned char>(encodeSix(v)));
    table[v] = std::endian::native == std::endian::little ? static_cast<std::uint16_t>(first | (second << 8))
                                                          : static_cast<std::uint16_t>((first << 8) | second);
  }
  return table;
}
constexpr std::array<std::uint16_t, 4096> kPairs = makePairTable();

inline char* encodeGroup(const unsigned char* in, char* out) {
  const std::uint32_t bits = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | in[2];
  std::memcpy(out, &kPairs[bits >> 12], 2);
  std::memcpy(out + 2, &kPairs[bits & 0xFFFu], 2);
  return out + 4;
}

char* encodeFullLine(const unsigned char* in, char* out) {
  *out++ = encodeSix(kLineBytes);
  for (std::size_t i = 0; i < kLineBytes; i += 3) {
    out = encodeGroup(in + i, out);
  }
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

// A line of `count` bytes (0 to 44) taken from the 45-byte line buffer. An
// incomplete last group takes its missing bytes from the buffer as it
// stands: the previous line's bytes at those places, zeros on the first.
char* encodeLastLine(const std::array<unsigned char, kLineBytes>& line, std::size_t count, char* out) {
  const char length = encodeSix(static_cast<unsigned>(count));
  *out++ = length;
  // A line beginning with a dot loses it to NNTP dot-stuffing: write it twice.
  if (length == '.') {
    *out++ = length;
  }
  for (std::size_t i = 0; i < count; i += 3) {
    out = encodeGroup(line.data() + i, out);
  }
  *out++ = '\r';
  *out++ = '\n';
  return out;
}

}  // namespace

int uuencodeStream(int source, int output) {
  std::vector<unsigned char> input(kBlockBytes);
  std::vector<char> encoded(kBlockLines * kEncodedLineBytes + 2 * kEncodedLineBytes);
  // The 45-byte line buffer: zeros at first, then the last full line, then
  // the short last line over it.
  std::array<unsigned char, kLineBytes> line{};
  for (;;) {
    const auto got = readFull(source, reinterpret_cast<char*>(input.data()), input.size());
    if (!got) {
      return kEncodeSourceFailed;
    }
    const std::size_t fullLines = *got / kLineBytes;
    const std::size_t rest = *got % kLineBytes;
    char* out = encoded.data();
    for (std::size_t i = 0; i < fullLines; ++i) {
      out = encodeFullLine(input.data() + i * kLineBytes, out);
    }
    if (fullLines > 0) {
      std::memcpy(line.data(), input.data() + (fullLines - 1) * kLineBytes, kLineBytes);
    }
    const bool atEnd = *got < input.size();
    if (atEnd) {
      if (rest > 0) {
        std::memcpy(line.data(), input.data() + fullLines * kLineBytes, rest);
        out = encodeLastLine(line, rest, out);
      }
      out = encodeLastLine(line, 0, out);
    }
    if (!writeAll(output, std::string_view(encoded.data(), static_cast<std::size_t>(out - encoded.data())))) {
      return kEncodeOutputFailed;
    }
    if (atEnd) {
      return kEncodeOk;
    }
  }
}

}  // namespace tidewell
