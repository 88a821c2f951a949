#include "par2/gf16.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace tidewell::gf16 {
namespace {

// Multiplication by shifting and reducing, bit by bit: the reference the
// tables and kernels are checked against.
std::uint16_t slowMultiply(std::uint16_t a, std::uint16_t b) {
  std::uint32_t product = 0;
  std::uint32_t shifted = a;
  for (int bit = 0; bit < 16; ++bit) {
    if ((b >> bit) & 1) {
      product ^= shifted;
    }
    shifted <<= 1;
    if (shifted & 0x10000) {
      shifted ^= kPolynomial;
    }
  }
  return static_cast<std::uint16_t>(product);
}

TEST(Gf16, TablesAgreeWithShiftAndReduce) {
  std::mt19937 random(7);
  for (int i = 0; i < 20000; ++i) {
    const auto a = static_cast<std::uint16_t>(random());
    const auto b = static_cast<std::uint16_t>(random());
    ASSERT_EQ(multiply(a, b), slowMultiply(a, b)) << a << " * " << b;
  }
  // 2 generates the whole group: every non-zero value has one logarithm.
  std::vector<bool> seen(65536, false);
  for (std::uint32_t e = 0; e < kGroupOrder; ++e) {
    const std::uint16_t v = antilog(e);
    ASSERT_FALSE(seen[v]) << "2^" << e << " repeats";
    seen[v] = true;
    ASSERT_EQ(logarithm(v), e);
  }
  EXPECT_EQ(antilog(1), 2);
  EXPECT_EQ(antilog(16), 0x100B);  // x^16 reduced by the polynomial
  EXPECT_EQ(power(3, 0), 1);
  EXPECT_EQ(power(0, 5), 0);
  EXPECT_EQ(power(2, 65535 + 16), 0x100B);
}

// Every kernel this processor runs gives the portable loop's bytes, for
// constants that exercise each nibble table and lengths that end inside a
// vector, starting at unaligned places.
TEST(Gf16, EveryKernelMatchesPortable) {
  const std::uint16_t constants[] = {0, 1, 2, 0x100B, 0x8000, 0xFFFF, 0x1234, 0xBEEF, 0x0F0F, 0xF0F0};
  const std::size_t lengths[] = {0, 2, 30, 32, 34, 62, 64, 66, 126, 1000, 4098};
  std::mt19937 random(11);
  std::vector<std::uint8_t> source(4098 + 3);
  std::vector<std::uint8_t> base(4098 + 3);
  for (auto& byte : source) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : base) byte = static_cast<std::uint8_t>(random());
  for (Kernel kernel : availableKernels()) {
    for (std::uint16_t c : constants) {
      for (std::size_t length : lengths) {
        for (std::size_t offset : {0, 1, 3}) {
          std::vector<std::uint8_t> expected = base;
          std::vector<std::uint8_t> actual = base;
          mulAdd(expected.data() + offset, source.data() + offset, length, c, Kernel::Portable);
          mulAdd(actual.data() + offset, source.data() + offset, length, c, kernel);
          ASSERT_EQ(actual, expected) << kernelName(kernel) << " c=" << c << " length=" << length
                                      << " offset=" << offset;
        }
      }
    }
  }
}

// The split layout gives the same words: turned into it, multiplied there
// by every kernel and turned back, a buffer equals the plain multiply-add.
TEST(Gf16, SplitLayoutMatchesPlainForEveryKernel) {
  std::mt19937 random(5);
  std::vector<std::uint8_t> source(64 * 37);
  std::vector<std::uint8_t> base(source.size());
  for (auto& byte : source) byte = static_cast<std::uint8_t>(random());
  for (auto& byte : base) byte = static_cast<std::uint8_t>(random());
  for (Kernel kernel : availableKernels()) {
    for (std::uint16_t c : {std::uint16_t{1}, std::uint16_t{0x100B}, std::uint16_t{0xFFFF}, std::uint16_t{0x2C3D}}) {
      std::vector<std::uint8_t> expected = base;
      mulAdd(expected.data(), source.data(), source.size(), c, Kernel::Portable);
      std::vector<std::uint8_t> split = source;
      std::vector<std::uint8_t> actual = base;
      toSplit(split.data(), split.size());
      toSplit(actual.data(), actual.size());
      mulAddSplit(actual.data(), split.data(), split.size(), makeMulTable(c), kernel);
      fromSplit(actual.data(), actual.size());
      ASSERT_EQ(actual, expected) << kernelName(kernel) << " c=" << c;
    }
  }
}

TEST(Gf16, PortableMultipliesEachWord) {
  std::mt19937 random(3);
  std::vector<std::uint8_t> source(512);
  for (auto& byte : source) byte = static_cast<std::uint8_t>(random());
  for (std::uint16_t c : {std::uint16_t{1}, std::uint16_t{0x1100B & 0xFFFF}, std::uint16_t{0xA5A5}}) {
    std::vector<std::uint8_t> dst(512, 0x5A);
    mulAdd(dst.data(), source.data(), source.size(), c, Kernel::Portable);
    for (std::size_t i = 0; i < source.size(); i += 2) {
      const auto word = static_cast<std::uint16_t>(source[i] | source[i + 1] << 8);
      const auto expected = static_cast<std::uint16_t>(slowMultiply(c, word) ^ 0x5A5A);
      ASSERT_EQ(dst[i] | dst[i + 1] << 8, expected) << "word " << i / 2 << " c=" << c;
    }
  }
}

}  // namespace
}  // namespace tidewell::gf16
