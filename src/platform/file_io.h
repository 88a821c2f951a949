#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// The ground floor for files: descriptors, whole reads and writes, append
// and atomic replace. Every call retries after EINTR; a failure leaves its
// errno for the caller to report.

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
  // Closes now; false (errno set) when the close reports an error, which
  // for a file just written can be the first word of a full disk.
  bool close();

 private:
  int fd_ = -1;
};

// Files the program makes for itself and nobody else (the debug log, the
// temporary copy of a configuration that holds a password).
inline constexpr mode_t kOwnerOnly = 0600;
// Files meant to be shared (reports, spools): the umask decides.
inline constexpr mode_t kSharedFile = 0666;

// Opens a regular file for reading. Anything else (a directory, a pipe, a
// device) counts as not openable, and opening never blocks.
[[nodiscard]] FileDescriptor openRegularForRead(const std::string& path);
// Creates or truncates a file for writing.
[[nodiscard]] FileDescriptor createForWrite(const std::string& path, mode_t mode = kSharedFile);
// Opens for appending, creating the file with `mode` when it is missing.
[[nodiscard]] FileDescriptor openForAppend(const std::string& path, mode_t mode = kSharedFile);

// Writes all bytes, retrying short writes; false on any error.
[[nodiscard]] bool writeAll(int fd, std::string_view bytes);
// Reads until `size` bytes or end of file; the count read, none on error.
[[nodiscard]] std::optional<std::size_t> readFull(int fd, char* buffer, std::size_t size);

// How a failed write is told to the user: "disk full" when there was no
// room (or quota) left, the system's own text otherwise.
[[nodiscard]] std::string writeErrorText(int error);

enum class FileRead { Read, Missing, Failed };
// The whole file into `out`. Missing only when nothing is at the path.
[[nodiscard]] FileRead readWholeFile(const std::string& path, std::string& out);
// Opens `path`, reads exactly `size` bytes at `offset` into `out`, closes.
// False on open failure, read error or a short file.
[[nodiscard]] bool readExactlyAt(const std::string& path, std::int64_t offset, std::size_t size, std::string& out);
// Appends `bytes` to the file at `path` (created with `mode`); false when it
// cannot be opened or written.
[[nodiscard]] bool appendToFile(const std::string& path, std::string_view bytes, mode_t mode = kSharedFile);
// Replaces the file at `path` with `bytes` so that a reader sees the old
// file or the new one, never a part: the bytes go to a fresh temporary file
// beside it (created exclusively, never through a link planted at its name,
// readable by the owner only until it has `mode`), are synced, and the
// temporary file is renamed over `path`, with `mode` less the umask. False,
// with nothing changed, on any failure.
[[nodiscard]] bool replaceFile(const std::string& path, std::string_view bytes, mode_t mode);
// The file-mode creation mask of the process, read without changing it.
[[nodiscard]] mode_t processUmask();

}  // namespace tidewell
