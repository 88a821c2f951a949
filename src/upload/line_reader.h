#pragma once

#include <cstddef>
#include <string>

namespace tidewell {

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

}  // namespace tidewell
