#include "par2/gf16.h"

#include <array>
#include <cstring>

#include "par2/gf16_kernels.h"
#include "platform/cpu_features.h"

namespace tidewell::gf16 {

namespace {

// log and antilog of every element, built once. antilog is doubled in
// length so a sum of two logarithms needs no reduction.
struct Tables {
  std::array<std::uint16_t, kGroupOrder + 1> log{};
  std::array<std::uint16_t, 2 * kGroupOrder> antilog{};

  Tables() {
    std::uint32_t value = 1;
    for (std::uint32_t e = 0; e < kGroupOrder; ++e) {
      antilog[e] = static_cast<std::uint16_t>(value);
      antilog[e + kGroupOrder] = static_cast<std::uint16_t>(value);
      log[value] = static_cast<std::uint16_t>(e);
      value <<= 1;
      if ((value & 0x10000) != 0) {
        value ^= kPolynomial;
      }
    }
  }
};

const Tables& tables() {
  static const Tables built;
  return built;
}

// c * x: one shift and, on overflow, the polynomial.
std::uint16_t timesX(std::uint16_t value) {
  std::uint32_t shifted = static_cast<std::uint32_t>(value) << 1;
  if ((shifted & 0x10000) != 0) {
    shifted ^= kPolynomial;
  }
  return static_cast<std::uint16_t>(shifted);
}

bool available(Kernel kernel) {
  switch (kernel) {
    case Kernel::Portable:
      return true;
    case Kernel::Ssse3:
      return cpuHasSsse3();
    case Kernel::Avx2:
      return cpuHasAvx2();
  }
  return false;
}

using WordTable = std::uint16_t[4][16];

void wordTable(const MulTable& table, WordTable& product) {
  for (int k = 0; k < 4; ++k) {
    for (int n = 0; n < 16; ++n) {
      product[k][n] = static_cast<std::uint16_t>(table.low[k][n] | (table.high[k][n] << 8));
    }
  }
}

void mulAddSplitPortable(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table) {
  WordTable product;
  wordTable(table, product);
  constexpr std::size_t kHalf = kSplitBlock / 2;
  for (std::size_t block = 0; block + kSplitBlock <= size; block += kSplitBlock) {
    for (std::size_t k = 0; k < kHalf; ++k) {
      const unsigned lo = src[block + k];
      const unsigned hi = src[block + kHalf + k];
      const unsigned p = product[0][lo & 15] ^ product[1][lo >> 4] ^ product[2][hi & 15] ^ product[3][hi >> 4];
      dst[block + k] = static_cast<std::uint8_t>(dst[block + k] ^ (p & 0xff));
      dst[block + kHalf + k] = static_cast<std::uint8_t>(dst[block + kHalf + k] ^ (p >> 8));
    }
  }
}

void mulAddPortable(std::uint8_t* dst, const std::uint8_t* src, std::size_t size, const MulTable& table) {
  WordTable product;
  wordTable(table, product);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const unsigned lo = src[i];
    const unsigned hi = src[i + 1];
    const unsigned p = product[0][lo & 15] ^ product[1][lo >> 4] ^ product[2][hi & 15] ^ product[3][hi >> 4];
    dst[i] = static_cast<std::uint8_t>(dst[i] ^ (p & 0xff));
    dst[i + 1] = static_cast<std::uint8_t>(dst[i + 1] ^ (p >> 8));
  }
}

}  // namespace

std::uint16_t logarithm(std::uint16_t value) {
  return tables().log[value];
}

std::uint16_t antilog(std::uint64_t exponent) {
  return tables().antilog[exponent % kGroupOrder];
}

std::uint16_t multiply(std::uint16_t a, std::uint16_t b) {
  if (a == 0 || b == 0) {
    return 0;
  }
  const Tables& t = tables();
  return t.antilog[static_cast<std::uint32_t>(t.log[a]) + t.log[b]];
}

std::uint16_t power(std::uint16_t a, std::uint64_t exponent) {
  if (exponent == 0) {
    return 1;
  }
  if (a == 0) {
    return 0;
  }
  return antilog(static_cast<std::uint64_t>(logarithm(a)) * (exponent % kGroupOrder));
}

MulTable makeMulTable(std::uint16_t constant) {
  MulTable table{};
  std::uint16_t base = constant;  // c * x^(4k) for nibble position k
  for (int k = 0; k < 4; ++k) {
    std::uint16_t product[16] = {0};
    std::uint16_t bit = base;
    for (int b = 0; b < 4; ++b) {
      const int one = 1 << b;
      for (int n = 0; n < one; ++n) {
        product[one + n] = static_cast<std::uint16_t>(product[n] ^ bit);
      }
      bit = timesX(bit);
    }
    base = bit;
    for (int n = 0; n < 16; ++n) {
      table.low[k][n] = static_cast<std::uint8_t>(product[n] & 0xff);
      table.high[k][n] = static_cast<std::uint8_t>(product[n] >> 8);
    }
  }
  return table;
}

const char* kernelName(Kernel kernel) {
  switch (kernel) {
    case Kernel::Portable:
      return "portable";
    case Kernel::Ssse3:
      return "ssse3";
    case Kernel::Avx2:
      return "avx2";
  }
  return "?";
}

std::vector<Kernel> availableKernels() {
  std::vector<Kernel> kernels;
  for (Kernel kernel : {Kernel::Portable, Kernel::Ssse3, Kernel::Avx2}) {
    if (available(kernel)) {
      kernels.push_back(kernel);
    }
  }
  return kernels;
}

Kernel fastestKernel() {
  return cpuHasAvx2() ? Kernel::Avx2 : cpuHasSsse3() ? Kernel::Ssse3 : Kernel::Portable;
}

void mulAdd(void* dst, const void* src, std::size_t size, const MulTable& table, Kernel kernel) {
  auto* out = static_cast<std::uint8_t*>(dst);
  const auto* in = static_cast<const std::uint8_t*>(src);
  std::size_t done = 0;
#if defined(__x86_64__)
  if (kernel == Kernel::Avx2 && cpuHasAvx2()) {
    done = detail::mulAddAvx2(out, in, size, table);
  } else if (kernel == Kernel::Ssse3 && cpuHasSsse3()) {
    done = detail::mulAddSsse3(out, in, size, table);
  }
#endif
  mulAddPortable(out + done, in + done, size - done, table);
}

void mulAdd(void* dst, const void* src, std::size_t size, std::uint16_t constant, Kernel kernel) {
  mulAdd(dst, src, size, makeMulTable(constant), kernel);
}

void toSplit(void* data, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  std::uint8_t block[kSplitBlock];
  for (std::size_t at = 0; at + kSplitBlock <= size; at += kSplitBlock) {
    for (std::size_t k = 0; k < kSplitBlock / 2; ++k) {
      block[k] = bytes[at + 2 * k];
      block[kSplitBlock / 2 + k] = bytes[at + 2 * k + 1];
    }
    std::memcpy(bytes + at, block, kSplitBlock);
  }
}

void fromSplit(void* data, std::size_t size) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  std::uint8_t block[kSplitBlock];
  for (std::size_t at = 0; at + kSplitBlock <= size; at += kSplitBlock) {
    for (std::size_t k = 0; k < kSplitBlock / 2; ++k) {
      block[2 * k] = bytes[at + k];
      block[2 * k + 1] = bytes[at + kSplitBlock / 2 + k];
    }
    std::memcpy(bytes + at, block, kSplitBlock);
  }
}

void mulAddSplit(void* dst, const void* src, std::size_t size, const MulTable& table, Kernel kernel) {
  auto* out = static_cast<std::uint8_t*>(dst);
  const auto* in = static_cast<const std::uint8_t*>(src);
#if defined(__x86_64__)
  if (kernel == Kernel::Avx2 && cpuHasAvx2()) {
    detail::mulAddSplitAvx2(out, in, size, table);
    return;
  }
  if (kernel == Kernel::Ssse3 && cpuHasSsse3()) {
    detail::mulAddSplitSsse3(out, in, size, table);
    return;
  }
#endif
  mulAddSplitPortable(out, in, size, table);
}

}  // namespace tidewell::gf16
