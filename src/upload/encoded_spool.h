#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "upload/part_plan.h"
#include "upload/spool_files.h"

namespace tidewell {

// Sequential reader of the encoded file, part by part. The file is opened,
// read at the position and closed again for every chunk, so no handle is
// held while the program waits for the network. Sizes are 64-bit so files
// of several gigabytes plan and read correctly.
class EncodedSpool {
 public:
  explicit EncodedSpool(std::string path = std::string(kEncodedFileName)) : path_(std::move(path)) {}
  EncodedSpool(const EncodedSpool&) = delete;
  EncodedSpool& operator=(const EncodedSpool&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }

  void setEncodedTotal(std::int64_t bytes) { encodedTotal_ = bytes; }
  void setEncodedPosition(std::int64_t offset) { encodedPosition_ = offset; }
  [[nodiscard]] std::int64_t getEncodedTotal() const { return encodedTotal_; }
  [[nodiscard]] std::int64_t getEncodedPosition() const { return encodedPosition_; }

  // True at the end of the encoded text, or when the position stands at the
  // end of part k.
  [[nodiscard]] bool isPartComplete(std::int32_t k, const PartPlan& plan) const;

  // Reads the next bytes of part k, at most `maximum`, into `chunk` (which
  // then holds exactly the bytes read) and advances the position. False
  // when the part is complete, or when the file cannot be opened or is
  // shorter than expected (the position is then unchanged).
  [[nodiscard]] bool readPartChunk(std::string& chunk, std::size_t maximum, std::int32_t k, const PartPlan& plan);

  // Whether the position is at the start of a line of the encoded text
  // (offset 0, or just after a line feed). Unreadable counts as a line start.
  [[nodiscard]] bool isAtLineStart() const;
  // The byte at the position, none at the end or when it cannot be read.
  [[nodiscard]] std::optional<char> peekByte() const;

  void deleteEncodedFile() const;

 private:
  std::string path_;
  std::int64_t encodedTotal_ = 0;
  std::int64_t encodedPosition_ = 0;
};

}  // namespace tidewell
