#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/cpu_features.h"
#include "platform/file_io.h"
#include "upload/encode_streams.h"
#include "upload/encoder.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tidewell {
namespace {

// A uuencoded line carries at most 45 source bytes: the length character,
// 15 groups of 4 characters for 3 bytes each, then CR LF.
constexpr std::size_t kLineBytes = 45;
constexpr std::size_t kEncodedLineBytes = 1 + 60 + 2;
static_assert(kEncodedLineBytes == 63);
// Source bytes read per block; a whole number of lines, 180 KiB, so
// memory stays the same whatever the file size.
constexpr std::size_t kBlockLines = 4096;
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

#if defined(__x86_64__)
// The same full lines, 12 source bytes to 16 characters per step with SSSE3
// (the byte shuffle and multiply split used by fast base64 encoders). A line
// takes four steps: bytes 0, 12, 24 and 36; the last step reads 7 bytes
// past the line and writes 4 characters past its data, which the line end
// and the next line overwrite, so both buffers carry that much slack.
constexpr std::size_t kSimdSlack = 16;

__attribute__((target("ssse3"))) inline __m128i encodeTwelve(const unsigned char* in) {
  __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  bytes = _mm_shuffle_epi8(bytes, _mm_set_epi8(10, 11, 9, 10, 7, 8, 6, 7, 4, 5, 3, 4, 1, 2, 0, 1));
  const __m128i high = _mm_mulhi_epu16(_mm_and_si128(bytes, _mm_set1_epi32(0x0fc0fc00)), _mm_set1_epi32(0x04000040));
  const __m128i low = _mm_mullo_epi16(_mm_and_si128(bytes, _mm_set1_epi32(0x003f03f0)), _mm_set1_epi32(0x01000010));
  const __m128i sixes = _mm_or_si128(high, low);
  // Each 6-bit value plus 0x20, and 0x40 more for a zero: the backquote.
  const __m128i zero = _mm_cmpeq_epi8(sixes, _mm_setzero_si128());
  return _mm_add_epi8(_mm_add_epi8(sixes, _mm_set1_epi8(0x20)), _mm_and_si128(zero, _mm_set1_epi8(0x40)));
}

__attribute__((target("ssse3"))) char* encodeFullLinesSsse3(const unsigned char* in, std::size_t lines, char* out) {
  for (std::size_t i = 0; i < lines; ++i, in += kLineBytes) {
    *out = encodeSix(kLineBytes);
    for (std::size_t step = 0; step < 4; ++step) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 1 + 16 * step), encodeTwelve(in + 12 * step));
    }
    out[61] = '\r';
    out[62] = '\n';
    out += kEncodedLineBytes;
  }
  return out;
}

#else
constexpr std::size_t kSimdSlack = 0;
#endif

char* encodeFullLines(const unsigned char* in, std::size_t lines, char* out, LineEncoder lineEncoder) {
#if defined(__x86_64__)
  if (lineEncoder == LineEncoder::Fastest && cpuHasSsse3()) {
    return encodeFullLinesSsse3(in, lines, out);
  }
#endif
  for (std::size_t i = 0; i < lines; ++i) {
    out = encodeFullLine(in + i * kLineBytes, out);
  }
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

int uuencodeStream(int source, int output, LineEncoder lineEncoder, const SourceTap& tap) {
  std::vector<unsigned char> input(kBlockBytes + kSimdSlack);
  std::vector<char> encoded(kBlockLines * kEncodedLineBytes + 2 * kEncodedLineBytes + kSimdSlack);
  // The 45-byte line buffer: zeros at first, then the last full line, then
  // the short last line over it.
  std::array<unsigned char, kLineBytes> line{};
  std::int64_t offset = 0;
  for (;;) {
    const auto got = readFull(source, reinterpret_cast<char*>(input.data()), kBlockBytes);
    if (!got) {
      return kEncodeSourceFailed;
    }
    if (tap && *got > 0) {
      tap(offset, input.data(), *got);
    }
    offset += static_cast<std::int64_t>(*got);
    const std::size_t fullLines = *got / kLineBytes;
    const std::size_t rest = *got % kLineBytes;
    char* out = encodeFullLines(input.data(), fullLines, encoded.data(), lineEncoder);
    if (fullLines > 0) {
      std::memcpy(line.data(), input.data() + (fullLines - 1) * kLineBytes, kLineBytes);
    }
    const bool atEnd = *got < kBlockBytes;
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
