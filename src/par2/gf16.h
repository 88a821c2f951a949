#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Arithmetic in GF(2^16) as PAR2 recovery data uses it: 16-bit words,
// addition is XOR, multiplication modulo the generator polynomial
// x^16 + x^12 + x^3 + x + 1 (0x1100B), with 2 (the polynomial x) generating
// the multiplicative group of 65535 elements.
namespace tidewell::gf16 {

inline constexpr std::uint32_t kPolynomial = 0x1100B;
inline constexpr std::uint32_t kGroupOrder = 65535;

// log(v) for v != 0: the e with 2^e = v, 0 <= e < 65535.
[[nodiscard]] std::uint16_t logarithm(std::uint16_t value);
// 2^e, for any e (taken modulo 65535).
[[nodiscard]] std::uint16_t antilog(std::uint64_t exponent);
[[nodiscard]] std::uint16_t multiply(std::uint16_t a, std::uint16_t b);
// a^e (0^0 = 1).
[[nodiscard]] std::uint16_t power(std::uint16_t a, std::uint64_t exponent);

// The products of one constant with every value of each nibble of a word:
// word w = n0 | n1 << 4 | n2 << 8 | n3 << 12 gives c * w = the XOR over k
// of product[k][nk]. Kept as low and high bytes, the form a byte shuffle
// looks up 16 entries at a time.
struct MulTable {
  alignas(16) std::uint8_t low[4][16];
  alignas(16) std::uint8_t high[4][16];
};

[[nodiscard]] MulTable makeMulTable(std::uint16_t constant);

// The code that runs the multiply-add. Every kernel gives the same bytes;
// tests compare each with Portable.
enum class Kernel { Portable, Ssse3, Avx2 };

[[nodiscard]] const char* kernelName(Kernel kernel);
// The kernels this processor runs, Portable first.
[[nodiscard]] std::vector<Kernel> availableKernels();
[[nodiscard]] Kernel fastestKernel();

// dst ^= c * src over `size` bytes of 16-bit little-endian words (`size`
// even; odd sizes leave the last byte alone). dst and src must not overlap
// unless they are the same. An unavailable kernel falls back to Portable.
void mulAdd(void* dst, const void* src, std::size_t size, const MulTable& table, Kernel kernel);
void mulAdd(void* dst, const void* src, std::size_t size, std::uint16_t constant, Kernel kernel);

// The split layout: each block of 64 bytes (32 words) holds the words' low
// bytes in its first half and their high bytes in its second, the form the
// shuffle kernels look up without gathering and weaving. A buffer that is
// multiplied many times is turned into it once and back at the end.
inline constexpr std::size_t kSplitBlock = 64;
// In place; `size` a multiple of kSplitBlock.
void toSplit(void* data, std::size_t size);
void fromSplit(void* data, std::size_t size);
// mulAdd on buffers in the split layout; `size` a multiple of kSplitBlock.
void mulAddSplit(void* dst, const void* src, std::size_t size, const MulTable& table, Kernel kernel);

}  // namespace tidewell::gf16
