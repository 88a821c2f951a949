#include "upload/encoded_spool.h"

#include "platform/file_io.h"
#include "platform/file_system.h"

namespace tidewell {

bool EncodedSpool::isPartComplete(std::int32_t k, const PartPlan& plan) const {
  return encodedPosition_ == encodedTotal_ || encodedPosition_ == plan.partEnd(k, encodedTotal_);
}

bool EncodedSpool::readPartChunk(std::string& chunk, std::size_t maximum, std::int32_t k, const PartPlan& plan) {
  chunk.clear();
  if (isPartComplete(k, plan)) {
    return false;
  }
  const std::int64_t left = plan.partEnd(k, encodedTotal_) - encodedPosition_;
  const std::int64_t count = left < static_cast<std::int64_t>(maximum) ? left : static_cast<std::int64_t>(maximum);
  if (count <= 0 || !readExactlyAt(path_, encodedPosition_, static_cast<std::size_t>(count), chunk)) {
    return false;
  }
  encodedPosition_ += count;
  return true;
}

bool EncodedSpool::isAtLineStart() const {
  std::string before;
  if (encodedPosition_ <= 0 || !readExactlyAt(path_, encodedPosition_ - 1, 1, before)) {
    return true;
  }
  return before[0] == '\n';
}

std::optional<char> EncodedSpool::peekByte() const {
  std::string byte;
  if (encodedPosition_ >= encodedTotal_ || !readExactlyAt(path_, encodedPosition_, 1, byte)) {
    return std::nullopt;
  }
  return byte[0];
}

void EncodedSpool::deleteEncodedFile() const {
  deleteFile(path_);
}

}  // namespace tidewell
