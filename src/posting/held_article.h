#pragma once

// A composed article waiting for a link. Fast posting composes every
// article in memory, and the link takes that buffer over as it is (no
// copy, no file). With N links, at most the N+1 articles composed ahead
// are held.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "upload/article_buffer.h"

namespace tidewell {

class ArticleSpool;

class HeldArticle {
 public:
  // Takes over the article just composed in `spool`'s memory; false when
  // the spool did not compose it in memory.
  [[nodiscard]] bool holdFrom(ArticleSpool& spool);
  [[nodiscard]] std::int64_t size() const { return static_cast<std::int64_t>(memory_.size()); }
  // Up to `maximum` bytes from `offset`; empty when they run past the end.
  [[nodiscard]] std::string_view piece(std::int64_t offset, std::size_t maximum) const;
  // Posted or given up: the memory goes at once.
  void release() { memory_ = ArticleBuffer(); }

 private:
  ArticleBuffer memory_;
};

}  // namespace tidewell
