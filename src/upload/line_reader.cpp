#include "upload/line_reader.h"

#include <string_view>

#include "platform/file_io.h"

namespace tidewell {

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

}  // namespace tidewell
