#pragma once

// What the processor offers the SIMD kernels, asked once each. Every kernel
// that needs an instruction set checks here before it runs; off x86-64 the
// answer is always no and the portable code runs.
namespace tidewell {

[[nodiscard]] inline bool cpuHasSsse3() {
#if defined(__x86_64__)
  static const bool supported = __builtin_cpu_supports("ssse3") != 0;
  return supported;
#else
  return false;
#endif
}

// AVX2 with POPCNT (every AVX2 processor has it; the yEnc kernel uses it).
[[nodiscard]] inline bool cpuHasAvx2() {
#if defined(__x86_64__)
  static const bool supported = __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("popcnt") != 0;
  return supported;
#else
  return false;
#endif
}

}  // namespace tidewell
