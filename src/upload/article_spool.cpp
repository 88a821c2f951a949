#include "upload/article_spool.h"

#include <utility>

#include "platform/file_io.h"

namespace tidewell {

void ArticleSpool::resetArticleSpool() {
  articleSent_ = 0;
  articleTotal_ = 0;
  writeError_ = 0;
  memory_.clear();
  taken_ = false;
  if (!inMemory_) {
    disk_.remove(path_);
  }
  inMemory_ = nextInMemory_;
}

std::string_view ArticleSpool::unsentView(std::size_t maximum) const {
  const std::string_view all = memory_.view();
  const auto sent = static_cast<std::size_t>(articleSent_);
  return sent >= all.size() ? std::string_view() : all.substr(sent, maximum);
}

ArticleBuffer ArticleSpool::takeMemory() {
  articleTotal_ = static_cast<std::int64_t>(memory_.size());
  articleSent_ = articleTotal_;
  taken_ = true;
  ArticleBuffer taken = std::move(memory_);
  memory_.reserve(taken.capacity());
  return taken;
}

bool ArticleSpool::adoptText(ArticleBuffer& text) {
  if (!inMemory_ || taken_ || !text.prepend(memory_.view())) {
    return false;
  }
  std::swap(memory_, text);
  text.clear();
  return true;
}

bool ArticleSpool::appendToArticleSpool(std::string_view text) {
  if (inMemory_) {
    memory_.append(text);
    return true;
  }
  articleTotal_ += static_cast<std::int64_t>(text.size());
  const int error = disk_.append(path_, text, kSharedFile);
  if (error != 0 && writeError_ == 0) {
    writeError_ = error;
  }
  return error == 0;
}

bool ArticleSpool::readArticleChunk(std::string& chunk, std::size_t maximum) {
  chunk.clear();
  const std::int64_t left = getArticleTotal() - articleSent_;
  const std::int64_t count = left < static_cast<std::int64_t>(maximum) ? left : static_cast<std::int64_t>(maximum);
  if (count <= 0) {
    return false;
  }
  if (inMemory_) {
    chunk.assign(unsentView(static_cast<std::size_t>(count)));
  } else if (!disk_.readAt(path_, articleSent_, static_cast<std::size_t>(count), chunk)) {
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
