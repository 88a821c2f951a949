#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How a PAR2 set over the files of a run is cut: the slice size, how many
// source and recovery slices, and how many reads of the files the recovery
// needs within the memory it may hold.
namespace tidewell::par2 {

// The most source slices a set can have: each needs its own base, a power
// of 2 whose logarithm shares no factor with 65535, and there are 32768 of
// them.
inline constexpr std::uint32_t kMaxSourceSlices = 32768;
// With no preferred size, slices are made about this many.
inline constexpr std::uint32_t kDefaultSliceTarget = 2000;

struct PlanRequest {
  std::vector<std::uint64_t> fileSizes;
  // 0: chosen here. Otherwise a multiple of 4, used as given.
  std::uint64_t sliceSize = 0;
  // When the size is chosen: the size it should be, or a multiple of it when
  // that would make too many slices (yEnc's article source size, so one lost
  // article costs one slice). 0: none.
  std::uint64_t preferredSliceSize = 0;
  // Recovery slices as a percentage of the source slices, 0 to 100.
  int redundancyPercent = 10;
  // Bytes of recovery data held at once.
  std::uint64_t memoryLimit = 256ull << 20;
};

struct Plan {
  std::uint64_t sliceSize = 0;
  std::uint32_t sourceSliceCount = 0;
  std::uint32_t recoveryCount = 0;
  // Recovery slices computed per read of the files, and how many reads.
  std::uint32_t recoveryPerPass = 0;
  std::uint32_t passCount = 1;
  // Slices of each file, in the order of the request (0 for an empty file,
  // which the set leaves out).
  std::vector<std::uint32_t> fileSlices;
};

// Plans the set; returns the reason when the request cannot make one (empty
// text: `plan` is filled).
[[nodiscard]] std::string makePlan(const PlanRequest& request, Plan& plan);

}  // namespace tidewell::par2
