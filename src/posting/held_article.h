#pragma once

// A composed article waiting for a link, kept on disk rather than in memory:
// an unnamed file in the working directory (its name is removed as soon as
// it is made, so a crash leaves nothing behind), read back piece by piece as
// the link sends it. With N links, memory stays at one piece per link
// whatever the part size; disk holds at most the N+1 articles composed ahead.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_io.h"

namespace tidewell {

class ArticleSpool;

class HeldArticle {
 public:
  // Copies the article just composed into the spool (its whole text, from
  // the spool's read position) into a new unnamed file, in pieces of
  // `piece` bytes. 0 on success, -1 when the spool cannot be read back,
  // else the errno of the write that failed.
  [[nodiscard]] int holdFrom(ArticleSpool& spool, std::size_t piece);
  [[nodiscard]] std::int64_t size() const { return size_; }
  // Up to `maximum` bytes from `offset`; false when they cannot be read.
  [[nodiscard]] bool read(std::int64_t offset, std::size_t maximum, std::string& piece) const;
  // Posted or given up: the file goes at once.
  void release();

 private:
  FileDescriptor file_;
  std::int64_t size_ = 0;
};

}  // namespace tidewell
