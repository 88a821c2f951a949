#include "upload/part_plan.h"

namespace tidewell {

PartPlan planParts(std::int64_t encodedSize, std::int32_t partSizeSetting) {
  PartPlan plan;
  if (encodedSize <= 0) {
    plan.partCount = 1;
    return plan;
  }
  std::int64_t partSize = partSizeSetting <= 0 ? kWholeFilePartSize : partSizeSetting;
  if (partSize < kFullLineBytes) {
    partSize = kFullLineBytes;
  }
  plan.partLength = encodedSize < partSize ? encodedSize : partSize / kFullLineBytes * kFullLineBytes;
  std::int64_t count = encodedSize / plan.partLength;
  if (encodedSize % plan.partLength > kSmallestOwnRest) {
    ++count;
  }
  plan.partCount = static_cast<std::int32_t>(count);
  return plan;
}

}  // namespace tidewell
