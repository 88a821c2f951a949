#include "upload/article_spool.h"

#include "platform/file_io.h"

namespace tidewell {

void ArticleSpool::resetArticleSpool() {
  articleSent_ = 0;
  articleTotal_ = 0;
  writeError_ = 0;
  disk_.remove(path_);
}

bool ArticleSpool::appendToArticleSpool(std::string_view text) {
  articleTotal_ += static_cast<std::int64_t>(text.size());
  const int error = disk_.append(path_, text, kSharedFile);
  if (error != 0 && writeError_ == 0) {
    writeError_ = error;
  }
  return error == 0;
}

bool ArticleSpool::readArticleChunk(std::string& chunk, std::size_t maximum) {
  chunk.clear();
  const std::int64_t left = articleTotal_ - articleSent_;
  const std::int64_t count = left < static_cast<std::int64_t>(maximum) ? left : static_cast<std::int64_t>(maximum);
  if (count <= 0 || !disk_.readAt(path_, articleSent_, static_cast<std::size_t>(count), chunk)) {
    return false;
  }
  articleSent_ += count;
  return true;
}

void ArticleSpool::rewindArticle(std::int64_t bytes) {
  articleSent_ -= bytes;
  if (articleSent_ < 0) {
    articleSent_ = 0;
  }
}

void ArticleSpool::deleteArticleSpool() const {
  disk_.remove(path_);
}

}  // namespace tidewell
