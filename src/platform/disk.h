#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_io.h"

namespace tidewell {

// The file operations of the session's report, debug log and article spool,
// behind one interface so that tests can put a full or failing disk under
// them (tests/support/failing_disk.h). Everything else calls the functions
// of platform/file_io.h directly.
class Disk {
 public:
  virtual ~Disk() = default;

  // Appends `bytes` to the file (created with `mode` when missing); 0, or
  // the errno of the failure (ENOSPC on a full disk).
  [[nodiscard]] virtual int append(const std::string& path, std::string_view bytes, mode_t mode) = 0;
  // Exactly `size` bytes at `offset`; false on any failure or a short file.
  [[nodiscard]] virtual bool readAt(const std::string& path, std::int64_t offset, std::size_t size,
                                    std::string& out) = 0;
  [[nodiscard]] virtual bool exists(const std::string& path) = 0;
  // Removing a file that does not exist is silent.
  virtual void remove(const std::string& path) = 0;
  // Appends as append() does, keeping the file open (where the disk can) for
  // the next such call to the same path, until release() or remove() of it
  // or such a call for another path. Each call's bytes are written before
  // it returns (nothing waits in a buffer).
  [[nodiscard]] virtual int appendKeepingOpen(const std::string& path, std::string_view bytes, mode_t mode) {
    return append(path, bytes, mode);
  }
  virtual void release(const std::string& /*path*/) {}
};

// The machine's own disk.
class RealDisk : public Disk {
 public:
  [[nodiscard]] int append(const std::string& path, std::string_view bytes, mode_t mode) override;
  [[nodiscard]] bool readAt(const std::string& path, std::int64_t offset, std::size_t size, std::string& out) override;
  [[nodiscard]] bool exists(const std::string& path) override;
  void remove(const std::string& path) override;
  // One file at a time is kept open; used from the loop's thread only.
  [[nodiscard]] int appendKeepingOpen(const std::string& path, std::string_view bytes, mode_t mode) override;
  void release(const std::string& path) override;

 private:
  std::string keptPath_;
  FileDescriptor kept_;
};

// The one real disk, for everyone who is not handed another.
[[nodiscard]] Disk& realDisk();

}  // namespace tidewell
