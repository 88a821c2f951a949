#include "upload/crc32.h"

#include <array>

#include "upload/crc32_kernels.h"

namespace tidewell {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

// Eight tables of 256 entries: eight bytes per step ("slicing by eight").
constexpr std::array<std::array<std::uint32_t, 256>, 8> makeTables() {
  std::array<std::array<std::uint32_t, 256>, 8> tables{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) {
      c = (c & 1u) != 0 ? (c >> 1) ^ kPolynomial : c >> 1;
    }
    tables[0][n] = c;
  }
  for (std::uint32_t n = 0; n < 256; ++n) {
    for (std::size_t t = 1; t < 8; ++t) {
      tables[t][n] = (tables[t - 1][n] >> 8) ^ tables[0][tables[t - 1][n] & 0xFFu];
    }
  }
  return tables;
}
constexpr auto kTables = makeTables();

std::uint32_t tableUpdate(std::uint32_t state, const unsigned char* p, std::size_t size) {
  const auto& t = kTables;
  while (size >= 8) {
    const std::uint32_t low = state ^ (std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                       std::uint32_t{p[3]} << 24);
    state = t[7][low & 0xFFu] ^ t[6][(low >> 8) & 0xFFu] ^ t[5][(low >> 16) & 0xFFu] ^ t[4][low >> 24] ^ t[3][p[4]] ^
            t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    p += 8;
    size -= 8;
  }
  while (size-- > 0) {
    state = (state >> 8) ^ t[0][(state ^ *p++) & 0xFFu];
  }
  return state;
}

// Polynomial arithmetic modulo the CRC polynomial, bit-reflected: the
// product of a and b, and x to the power 2^k * 8 (one byte shifted 2^k times).
std::uint32_t multiplyModulo(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  std::uint32_t m = 1u << 31;
  for (;;) {
    if ((a & m) != 0) {
      product ^= b;
      if ((a & (m - 1)) == 0) {
        break;
      }
    }
    m >>= 1;
    b = (b & 1u) != 0 ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

constexpr std::uint32_t kOne = 1u << 31;  // the polynomial 1, reflected

// x^(8 * length) modulo the polynomial, by squaring.
std::uint32_t shiftPower(std::int64_t length) {
  std::uint32_t power = kOne;
  std::uint32_t square = 1u << 23;  // x^8: one byte
  for (auto n = static_cast<std::uint64_t>(length); n != 0; n >>= 1) {
    if ((n & 1u) != 0) {
      power = multiplyModulo(power, square);
    }
    square = multiplyModulo(square, square);
  }
  return power;
}

bool haveVpclmulCrc() {
#if defined(__x86_64__)
  static const bool supported =
      haveClmulCrc() && __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("vpclmulqdq") != 0;
  return supported;
#else
  return false;
#endif
}

}  // namespace

bool haveClmulCrc() {
#if defined(__x86_64__)
  static const bool supported = __builtin_cpu_supports("pclmul") != 0 && __builtin_cpu_supports("ssse3") != 0;
  return supported;
#else
  return false;
#endif
}

std::uint32_t crc32Update(std::uint32_t crc, const void* data, std::size_t size, CrcPath path) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint32_t state = ~crc;
#if defined(__x86_64__)
  if (path == CrcPath::Fastest && size >= 64 && haveClmulCrc()) {
    const std::size_t blocks = size & ~std::size_t{15};
    state = blocks >= 256 && haveVpclmulCrc() ? crc_detail::vpclmulFold(state, p, blocks)
                                              : crc_detail::clmulFold(state, p, blocks);
    p += blocks;
    size -= blocks;
  }
#endif
  return ~tableUpdate(state, p, size);
}

std::uint32_t crc32Combine(std::uint32_t crcA, std::uint32_t crcB, std::int64_t lengthB) {
  return multiplyModulo(shiftPower(lengthB), crcA) ^ crcB;
}

}  // namespace tidewell
