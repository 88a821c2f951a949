#include "par2/plan.h"

#include <algorithm>

namespace tidewell::par2 {

namespace {

std::uint64_t slicesOf(std::uint64_t size, std::uint64_t sliceSize) {
  return size / sliceSize + (size % sliceSize != 0 ? 1 : 0);
}

// Source slices of all files at one slice size, stopping early past the
// limit.
std::uint64_t countSlices(const std::vector<std::uint64_t>& sizes, std::uint64_t sliceSize) {
  std::uint64_t total = 0;
  for (std::uint64_t size : sizes) {
    total += slicesOf(size, sliceSize);
    if (total > kMaxSourceSlices) {
      break;
    }
  }
  return total;
}

// The smallest multiple of `unit`, at least `lowest` times it, whose slice
// count is within the limit (the count only falls as the size grows).
std::uint64_t smallestFitting(const std::vector<std::uint64_t>& sizes, std::uint64_t unit, std::uint64_t lowest) {
  const std::uint64_t largest = *std::max_element(sizes.begin(), sizes.end());
  std::uint64_t low = std::max<std::uint64_t>(lowest, 1);
  std::uint64_t high = std::max(low, slicesOf(largest, unit));  // one slice per file
  if (countSlices(sizes, low * unit) <= kMaxSourceSlices) {
    return low * unit;
  }
  while (low + 1 < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    if (countSlices(sizes, middle * unit) <= kMaxSourceSlices) {
      high = middle;
    } else {
      low = middle;
    }
  }
  return high * unit;
}

}  // namespace

std::string makePlan(const PlanRequest& request, Plan& plan) {
  if (request.redundancyPercent < 0 || request.redundancyPercent > 100) {
    return "the redundancy must be 0 to 100 percent, not " + std::to_string(request.redundancyPercent);
  }
  if (request.sliceSize % 4 != 0) {
    return "the slice size must be a multiple of 4 bytes, not " + std::to_string(request.sliceSize);
  }
  std::vector<std::uint64_t> sizes;
  std::uint64_t total = 0;
  for (std::uint64_t size : request.fileSizes) {
    if (size != 0) {
      sizes.push_back(size);
      total += size;
    }
  }
  if (sizes.size() > kMaxSourceSlices) {
    return "a set holds at most " + std::to_string(kMaxSourceSlices) + " files that are not empty, not " +
           std::to_string(sizes.size());
  }

  std::uint64_t sliceSize = request.sliceSize;
  if (sizes.empty()) {
    sliceSize = sliceSize != 0 ? sliceSize : 4;
  } else if (sliceSize == 0) {
    if (request.preferredSliceSize >= 4) {
      const std::uint64_t unit = request.preferredSliceSize / 4 * 4;
      sliceSize = smallestFitting(sizes, unit, 1);
    } else {
      const std::uint64_t target = (total + kDefaultSliceTarget - 1) / kDefaultSliceTarget;
      sliceSize = smallestFitting(sizes, 4, (target + 3) / 4);
    }
  }
  const std::uint64_t count = countSlices(sizes, sliceSize);
  if (count > kMaxSourceSlices) {
    return "a slice size of " + std::to_string(sliceSize) + " bytes makes more than " +
           std::to_string(kMaxSourceSlices) + " source slices";
  }

  plan = Plan{};
  plan.sliceSize = sliceSize;
  plan.sourceSliceCount = static_cast<std::uint32_t>(count);
  for (std::uint64_t size : request.fileSizes) {
    plan.fileSlices.push_back(static_cast<std::uint32_t>(slicesOf(size, sliceSize)));
  }
  std::uint64_t recovery = (count * static_cast<std::uint64_t>(request.redundancyPercent) + 50) / 100;
  if (recovery == 0 && request.redundancyPercent > 0 && count > 0) {
    recovery = 1;
  }
  plan.recoveryCount = static_cast<std::uint32_t>(recovery);
  const std::uint64_t fitting = std::max<std::uint64_t>(1, request.memoryLimit / sliceSize);
  plan.recoveryPerPass =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(fitting, std::max<std::uint64_t>(recovery, 1)));
  plan.passCount =
      recovery == 0 ? 1 : static_cast<std::uint32_t>((recovery + plan.recoveryPerPass - 1) / plan.recoveryPerPass);
  return {};
}

}  // namespace tidewell::par2
