#include "platform/disk.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/file_io.h"
#include "platform/file_system.h"

namespace tidewell {

int RealDisk::append(const std::string& path, std::string_view bytes, mode_t mode) {
  return appendToFile(path, bytes, mode) ? 0 : (errno != 0 ? errno : EIO);
}

bool RealDisk::readAt(const std::string& path, std::int64_t offset, std::size_t size, std::string& out) {
  return readExactlyAt(path, offset, size, out);
}

bool RealDisk::exists(const std::string& path) {
  return fileExists(path);
}

void RealDisk::remove(const std::string& path) {
  release(path);
  deleteFile(path);
}

int RealDisk::appendKeepingOpen(const std::string& path, std::string_view bytes, mode_t mode) {
  struct stat info {};
  if (kept_.isOpen() && (fstat(kept_.get(), &info) != 0 || info.st_nlink == 0)) {
    // The file was deleted while it was kept open: what follows goes into
    // a new file of that name, as a write that opens the file each time
    // would, rather than into one nobody can read any more.
    release(keptPath_);
  }
  if (!kept_.isOpen() || keptPath_ != path) {
    keptPath_.clear();
    kept_ = openForAppend(path, mode);
    if (!kept_.isOpen()) {
      return errno != 0 ? errno : EIO;
    }
    keptPath_ = path;
  }
  return writeAll(kept_.get(), bytes) ? 0 : (errno != 0 ? errno : EIO);
}

void RealDisk::release(const std::string& path) {
  if (path == keptPath_) {
    kept_ = FileDescriptor();
    keptPath_.clear();
  }
}

Disk& realDisk() {
  static RealDisk disk;
  return disk;
}

}  // namespace tidewell
