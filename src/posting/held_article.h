#pragma once

// A composed article waiting for a link. Fast posting composes every
// article in memory, and the link takes that buffer over as it is (no
// copy, no file). With N links, at most the N+1 articles composed ahead
// are held. The default mode's one article is read from its spool (the
// file, for a part of any size) in the small pieces it goes out in.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "upload/article_buffer.h"

namespace tidewell {

class ArticleSpool;

class HeldArticle {
 public:
  // Takes over the article just composed in `spool`'s memory; false when
  // the spool did not compose it in memory.
  [[nodiscard]] bool holdFrom(ArticleSpool& spool);
  // Reads the article composed in `spool` (which outlives it) from there,
  // moving the spool's sent counter as the pieces are read.
  void readFrom(ArticleSpool& spool);
  [[nodiscard]] std::int64_t size() const;
  // Up to `maximum` bytes from `offset`; empty when they run past the end
  // or cannot be read. The view lasts until the next call.
  [[nodiscard]] std::string_view piece(std::int64_t offset, std::size_t maximum);
  // Posted or given up: the memory goes at once.
  void release() { memory_ = ArticleBuffer(); }

 private:
  ArticleBuffer memory_;
  ArticleSpool* spool_ = nullptr;
  std::string read_;  // the last piece read from the spool
};

}  // namespace tidewell
