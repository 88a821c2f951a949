#include "posting/held_article.h"

#include "upload/article_spool.h"

namespace tidewell {

bool HeldArticle::holdFrom(ArticleSpool& spool) {
  release();
  spool_ = nullptr;
  if (!spool.inMemory()) {
    return false;
  }
  memory_ = spool.takeMemory();
  return true;
}

void HeldArticle::readFrom(ArticleSpool& spool) {
  release();
  spool_ = &spool;
}

std::int64_t HeldArticle::size() const {
  return spool_ != nullptr ? spool_->getArticleTotal() : static_cast<std::int64_t>(memory_.size());
}

std::string_view HeldArticle::piece(std::int64_t offset, std::size_t maximum) {
  if (spool_ != nullptr) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) + maximum > static_cast<std::uint64_t>(size())) {
      return {};
    }
    // Bytes the network did not take are read again.
    if (offset < spool_->getArticleSent()) {
      spool_->rewindArticle(spool_->getArticleSent() - offset);
    }
    const bool read = offset == spool_->getArticleSent() && spool_->readArticleChunk(read_, maximum);
    return read && read_.size() == maximum ? std::string_view(read_) : std::string_view();
  }
  const std::string_view all = memory_.view();
  const auto from = static_cast<std::size_t>(offset);
  return from <= all.size() && maximum <= all.size() - from ? all.substr(from, maximum) : std::string_view();
}

}  // namespace tidewell
