#pragma once

// A composed article waiting for a link. An article composed in memory (as
// fast posting composes every article) is taken over as it is (no copy); one
// composed into the spool file is kept on disk: an unnamed file in the working directory (its name is removed as
// soon as it is made, so a crash leaves nothing behind), read back piece by
// piece as the link sends it. With N links, at most the N+1 articles
// composed ahead are held.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_io.h"
#include "upload/article_buffer.h"

namespace tidewell {

class ArticleSpool;

class HeldArticle {
 public:
  // Takes the article just composed into the spool: its buffer when the
  // spool is in memory; else its whole text, from the spool's read
  // position, copied into a new unnamed file in pieces of `piece` bytes.
  // 0 on success, -1 when the spool cannot be read back, else the errno of
  // the write that failed.
  [[nodiscard]] int holdFrom(ArticleSpool& spool, std::size_t piece);
  [[nodiscard]] std::int64_t size() const { return size_; }
  // Up to `maximum` bytes from `offset`; false when they cannot be read.
  [[nodiscard]] bool read(std::int64_t offset, std::size_t maximum, std::string& piece) const;
  // Up to `maximum` bytes from `offset`: a view of the article in memory,
  // or of `scratch` read from the file. Empty when they cannot be read; the
  // view lasts until the next call or release().
  [[nodiscard]] std::string_view piece(std::int64_t offset, std::size_t maximum, std::string& scratch) const;
  // Posted or given up: the file goes at once.
  void release();

 private:
  FileDescriptor file_;
  ArticleBuffer memory_;
  bool inMemory_ = false;
  std::int64_t size_ = 0;
};

}  // namespace tidewell
