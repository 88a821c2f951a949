#include "posting/held_article.h"

#include "upload/article_spool.h"

namespace tidewell {

bool HeldArticle::holdFrom(ArticleSpool& spool) {
  release();
  if (!spool.inMemory()) {
    return false;
  }
  memory_ = spool.takeMemory();
  return true;
}

std::string_view HeldArticle::piece(std::int64_t offset, std::size_t maximum) const {
  const std::string_view all = memory_.view();
  const auto from = static_cast<std::size_t>(offset);
  return from <= all.size() && maximum <= all.size() - from ? all.substr(from, maximum) : std::string_view();
}

}  // namespace tidewell
