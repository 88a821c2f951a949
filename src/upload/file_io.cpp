#include "upload/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tidewell {

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      close(fd_);
    }
    fd_ = other.release();
  }
  return *this;
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

FileDescriptor createForWrite(const std::string& path) {
  return FileDescriptor(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

FileDescriptor openForAppend(const std::string& path) {
  return FileDescriptor(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
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

bool LineReader::refill() {
  if (eof_ || failed_) {
    return false;
  }
  buffer_.erase(0, start_);
  start_ = 0;
  constexpr std::size_t kBlock = 65536;
  const std::size_t old = buffer_.size();
  buffer_.resize(old + kBlock);
  const auto got = readFull(fd_, buffer_.data() + old, kBlock);
  if (!got) {
    failed_ = true;
    buffer_.resize(old);
    return false;
  }
  buffer_.resize(old + *got);
  if (*got < kBlock) {
    eof_ = true;
  }
  return *got > 0;
}

bool LineReader::nextPiece(std::string& piece) {
  for (;;) {
    const std::size_t available = buffer_.size() - start_;
    const std::size_t window = available < limit_ ? available : limit_;
    const std::size_t lf = std::string_view(buffer_).substr(start_, window).find('\n');
    if (lf != std::string_view::npos) {
      piece.assign(buffer_, start_, lf + 1);
      start_ += lf + 1;
      return true;
    }
    if (available >= limit_ || ((eof_ || failed_) && available > 0)) {
      piece.assign(buffer_, start_, window);
      start_ += window;
      return true;
    }
    if (!refill() && (eof_ || failed_) && buffer_.size() == start_) {
      return false;
    }
  }
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace tidewell
