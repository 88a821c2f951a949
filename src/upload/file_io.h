#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// A POSIX file descriptor, closed when the object goes away.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor();
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// Opens a regular file for reading. Anything else (a directory, a pipe, a
// device) counts as not openable, and opening never blocks.
[[nodiscard]] FileDescriptor openRegularForRead(const std::string& path);
// Creates or truncates a file for writing.
[[nodiscard]] FileDescriptor createForWrite(const std::string& path);
// Opens for appending, creating the file when it is missing.
[[nodiscard]] FileDescriptor openForAppend(const std::string& path);

// Writes all bytes, retrying short writes; false on any error.
[[nodiscard]] bool writeAll(int fd, std::string_view bytes);
// Reads until `size` bytes or end of file; the count read, none on error.
[[nodiscard]] std::optional<std::size_t> readFull(int fd, char* buffer, std::size_t size);
// Opens `path`, reads exactly `size` bytes at `offset` into `out`, closes.
// False on open failure, read error or a short file.
[[nodiscard]] bool readExactlyAt(const std::string& path, std::int64_t offset, std::size_t size, std::string& out);

// Reads a file in pieces the way a C line reader with a 4096-byte buffer
// does: each piece runs through the next line feed, or stops after `limit`
// bytes when the line is longer (the rest comes as the next piece).
class LineReader {
 public:
  LineReader(int fd, std::size_t limit) : fd_(fd), limit_(limit) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False at end of file or on a read error (see failed()).
  bool nextPiece(std::string& piece);
  [[nodiscard]] bool failed() const { return failed_; }

 private:
  bool refill();

  int fd_;
  std::size_t limit_;
  std::string buffer_;
  std::size_t start_ = 0;
  bool eof_ = false;
  bool failed_ = false;
};

[[nodiscard]] bool equalsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tidewell
