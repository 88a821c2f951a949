#pragma once

#include <cstddef>
#include <string>

#include "platform/disk.h"

namespace tidewell::test {

// The real disk, with faults on demand: appends to the file named (or to
// any file, when the name is empty) fail with `error` once `room` more
// bytes have gone in. ENOSPC with some room is a disk that fills up
// part-way through a write; EACCES with none a directory that refuses new
// files.
class FailingDisk final : public RealDisk {
 public:
  void failAppends(int error, std::string path = {}, std::size_t room = 0) {
    error_ = error;
    path_ = std::move(path);
    room_ = room;
  }

  // Faults reach the files kept open as well.
  [[nodiscard]] int appendKeepingOpen(const std::string& path, std::string_view bytes, mode_t mode) override {
    return error_ == 0 ? RealDisk::appendKeepingOpen(path, bytes, mode) : append(path, bytes, mode);
  }

  [[nodiscard]] int append(const std::string& path, std::string_view bytes, mode_t mode) override {
    if (error_ == 0 || (!path_.empty() && path != path_)) {
      return RealDisk::append(path, bytes, mode);
    }
    if (room_ == 0) {
      return error_;
    }
    const std::size_t fits = bytes.size() < room_ ? bytes.size() : room_;
    room_ -= fits;
    if (const int error = RealDisk::append(path, bytes.substr(0, fits), mode); error != 0) {
      return error;
    }
    return fits == bytes.size() ? 0 : error_;
  }

 private:
  int error_ = 0;
  std::string path_;
  std::size_t room_ = 0;
};

}  // namespace tidewell::test
