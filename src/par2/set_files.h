#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "par2/md5.h"
#include "platform/file_io.h"

// The files a PAR2 set is written to: the index file `<name>.par2` with no
// recovery data, and volume files `<name>.volF+C.par2` holding C recovery
// slices from exponent F, 1, 2, 4, ... per volume. Every file ends with the
// set's main, file description, slice checksum and creator packets, so any
// one of them describes the whole set.
namespace tidewell::par2 {

struct Volume {
  std::uint32_t firstExponent = 0;
  std::uint32_t count = 0;
  std::string fileName;
};

// The volumes for `recoveryCount` slices: counts doubling from 1, the last
// one taking what is left. The first exponents in the names are zero-padded
// to the width of the recovery count, the counts to the widest count.
[[nodiscard]] std::vector<Volume> planVolumes(std::uint32_t recoveryCount, const std::string& name);

// Writes under temporary names (".part" added) and renames every file only
// once all are complete, so a set that fails half-way leaves nothing behind
// that claims its files.
class SetFiles {
 public:
  SetFiles(std::string directory, std::string name, std::vector<Volume> volumes, std::uint64_t sliceSize);
  ~SetFiles();
  SetFiles(const SetFiles&) = delete;
  SetFiles& operator=(const SetFiles&) = delete;

  // The recovery slice packet of `exponent` (data: sliceSize bytes) at its
  // place in its volume. false: error() says why.
  [[nodiscard]] bool writeRecovery(const Md5& setId, std::uint32_t exponent, const std::uint8_t* data);
  // Writes `description` (the packets every file carries) into the index
  // file and after each volume's recovery packets, then gives every file its
  // name. Returns the paths written, index first; empty on failure.
  [[nodiscard]] std::vector<std::string> complete(std::string_view description);
  // Removes whatever was written (a set that will not be completed).
  void discard();

  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  [[nodiscard]] std::string temporaryPath(std::size_t index) const;
  [[nodiscard]] bool openVolume(std::size_t index);
  [[nodiscard]] bool writeAt(std::size_t index, std::uint64_t offset, std::string_view bytes);
  void fail(const std::string& path);

  std::string directory_;
  std::string name_;
  std::vector<Volume> volumes_;
  std::uint64_t sliceSize_;
  std::vector<FileDescriptor> descriptors_;
  std::vector<std::string> temporaries_;  // made so far, removed unless completed
  std::string error_;
};

}  // namespace tidewell::par2
