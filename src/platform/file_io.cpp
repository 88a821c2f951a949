#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tidewell {

FileDescriptor::~FileDescriptor() {
  close();
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.release();
  }
  return *this;
}

bool FileDescriptor::close() {
  if (fd_ < 0) {
    return true;
  }
  // Linux releases the descriptor even when close is interrupted: never
  // retry it.
  return ::close(release()) == 0 || errno == EINTR;
}

FileDescriptor openRegularForRead(const std::string& path) {
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!file.isOpen()) {
    return file;
  }
  struct stat st {};
  if (fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return FileDescriptor();
  }
  return file;
}

FileDescriptor createForWrite(const std::string& path, mode_t mode) {
  return FileDescriptor(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
}

FileDescriptor openForAppend(const std::string& path, mode_t mode) {
  return FileDescriptor(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, mode));
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;  // a write that takes nothing and says nothing: no room
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::optional<std::size_t> readFull(int fd, char* buffer, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = read(fd, buffer + got, size - got);
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return std::nullopt;
    }
    if (n == 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  return got;
}

std::string writeErrorText(int error) {
  if (error == ENOSPC || error == EDQUOT) {
    return "disk full";
  }
  return std::strerror(error);
}

FileRead readWholeFile(const std::string& path, std::string& out) {
  const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.isOpen()) {
    return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
  }
  out.clear();
  char buffer[16384];
  for (;;) {
    const auto got = readFull(file.get(), buffer, sizeof buffer);
    if (!got) {
      return FileRead::Failed;  // a directory at the path lands here too (EISDIR)
    }
    out.append(buffer, *got);
    if (*got < sizeof buffer) {
      return FileRead::Read;
    }
  }
}

bool readExactlyAt(const std::string& path, std::int64_t offset, std::size_t size, std::string& out) {
  if (offset < 0) {
    return false;
  }
  const FileDescriptor file = openRegularForRead(path);
  if (!file.isOpen()) {
    return false;
  }
  out.resize(size);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n =
        pread(file.get(), out.data() + got, size - got, static_cast<off_t>(offset) + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      out.clear();
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

bool appendToFile(const std::string& path, std::string_view bytes, mode_t mode) {
  FileDescriptor file = openForAppend(path, mode);
  if (!file.isOpen() || !writeAll(file.get(), bytes)) {
    return false;
  }
  return file.close();
}

mode_t processUmask() {
  // Linux shows the umask in /proc/self/status; reading it there leaves it
  // untouched. Elsewhere it can only be read by setting it for a moment.
  std::string status;
  if (readWholeFile("/proc/self/status", status) == FileRead::Read) {
    const std::size_t at = status.find("\nUmask:");
    if (at != std::string::npos) {
      return static_cast<mode_t>(std::strtoul(status.c_str() + at + 8, nullptr, 8) & 0777);
    }
  }
  const mode_t mask = umask(022);
  umask(mask);
  return mask;
}

bool replaceFile(const std::string& path, std::string_view bytes, mode_t mode) {
  // mkostemp creates the file with O_CREAT | O_EXCL, so nothing planted at
  // a temporary name is ever followed or reused, and with mode 0600, so the
  // bytes are the owner's alone until the file takes its final mode: `mode`
  // less the umask, as open() would have made it.
  std::string temp = path + ".tmp-XXXXXX";
  FileDescriptor file(mkostemp(temp.data(), O_CLOEXEC));
  if (!file.isOpen()) {
    return false;
  }
  const bool written =
      fchmod(file.get(), mode & ~processUmask()) == 0 && writeAll(file.get(), bytes) && fsync(file.get()) == 0;
  if (!file.close() || !written || rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temp.c_str());
    errno = error;
    return false;
  }
  return true;
}

}  // namespace tidewell
