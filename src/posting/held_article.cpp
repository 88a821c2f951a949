#include "posting/held_article.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "upload/article_spool.h"

namespace tidewell {

int HeldArticle::holdFrom(ArticleSpool& spool, std::size_t piece) {
  release();
  if (spool.inMemory()) {
    memory_ = spool.takeMemory();
    inMemory_ = true;
    size_ = static_cast<std::int64_t>(memory_.size());
    return 0;
  }
  char name[] = "TIDEWELL.HELD.XXXXXX";
  file_ = FileDescriptor(::mkstemp(name));
  if (!file_.isOpen()) {
    return errno;
  }
  ::unlink(name);
  std::string chunk;
  while (!spool.isArticleSent()) {
    if (!spool.readArticleChunk(chunk, piece)) {
      return -1;
    }
    for (std::size_t done = 0; done < chunk.size();) {
      const ssize_t wrote = ::write(file_.get(), chunk.data() + done, chunk.size() - done);
      if (wrote < 0 && errno != EINTR) {
        return errno;
      }
      done += wrote > 0 ? static_cast<std::size_t>(wrote) : 0;
    }
    size_ += static_cast<std::int64_t>(chunk.size());
  }
  return 0;
}

std::string_view HeldArticle::piece(std::int64_t offset, std::size_t maximum, std::string& scratch) const {
  if (inMemory_) {
    const std::string_view all = memory_.view();
    const auto from = static_cast<std::size_t>(offset);
    return from + maximum <= all.size() ? all.substr(from, maximum) : std::string_view();
  }
  return read(offset, maximum, scratch) ? std::string_view(scratch) : std::string_view();
}

bool HeldArticle::read(std::int64_t offset, std::size_t maximum, std::string& piece) const {
  if (inMemory_) {
    const std::string_view view = this->piece(offset, maximum, piece);
    piece.assign(view);
    return view.size() == maximum;
  }
  piece.resize(maximum);
  std::size_t got = 0;
  while (got < maximum) {
    const ssize_t count = ::pread(file_.get(), piece.data() + got, maximum - got, offset + static_cast<off_t>(got));
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      break;
    }
    got += static_cast<std::size_t>(count);
  }
  piece.resize(got);
  return got == maximum;
}

void HeldArticle::release() {
  file_ = FileDescriptor();
  memory_ = ArticleBuffer();
  inMemory_ = false;
  size_ = 0;
}

}  // namespace tidewell
