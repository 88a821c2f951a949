#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/disk.h"
#include "upload/article_buffer.h"
#include "upload/spool_files.h"

namespace tidewell {

// The article spool: one complete article exactly as it goes onto the wire.
// The composer appends to it, the sender reads it out in chunks. Every
// access opens, works on and closes the file; in memory (useMemory), the
// article lives in a buffer instead and no file is touched.
class ArticleSpool {
 public:
  explicit ArticleSpool(std::string path = std::string(kArticleFileName), Disk& disk = realDisk())
      : path_(std::move(path)), disk_(disk) {}
  ArticleSpool(const ArticleSpool&) = delete;
  ArticleSpool& operator=(const ArticleSpool&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }

  // Where the next article (from the next reset) is kept: in memory, or in
  // the file. The article under way stays where it is.
  void useMemory(bool on) { nextInMemory_ = on; }
  [[nodiscard]] bool inMemory() const { return inMemory_; }
  // In memory: the buffer the article is composed into, for an encoder
  // that writes in place (bytes committed there count as appended); null
  // when the article is in the file.
  [[nodiscard]] ArticleBuffer* memory() { return inMemory_ ? &memory_ : nullptr; }
  // In memory: up to `maximum` bytes from the sent position, without a
  // copy; the view stays valid until the next append or reset.
  [[nodiscard]] std::string_view unsentView(std::size_t maximum) const;
  // In memory: hands the whole article over, as read out to its end (its
  // total stays until the next reset; the buffer is left empty, with room
  // reserved for an article of the same size).
  [[nodiscard]] ArticleBuffer takeMemory();
  // In memory: continues the article with `text` without copying it. What
  // is composed so far goes into the room in front of `text`, `text`
  // becomes the article's buffer and `text` is left holding the old one
  // (empty) for reuse. False, and nothing changed, when the article is in
  // the file or the room in front is too small: the caller appends instead.
  [[nodiscard]] bool adoptText(ArticleBuffer& text);

  // Counters to zero and the old spool deleted.
  void resetArticleSpool();
  // Appends the bytes of `text`. The total grows by the text's length even
  // when the write fails, so the shortfall also surfaces as a failed read;
  // false tells the caller at once, and writeError() says why.
  bool appendToArticleSpool(std::string_view text);
  // The errno of the first write that failed since the last reset; 0 when
  // every write went in.
  [[nodiscard]] int writeError() const { return writeError_; }

  [[nodiscard]] bool isArticleSent() const { return articleSent_ == getArticleTotal(); }
  // Reads the next bytes, at most `maximum`, into `chunk` and advances the
  // sent counter. False when everything has been handed out, or when the
  // spool cannot be opened or is short (the counter is then unchanged).
  [[nodiscard]] bool readArticleChunk(std::string& chunk, std::size_t maximum);
  // Steps back over bytes the network did not take; never below 0.
  void rewindArticle(std::int64_t bytes);
  void setArticleSent(std::int64_t bytes) { articleSent_ = bytes; }

  [[nodiscard]] std::int64_t getArticleSent() const { return articleSent_; }
  [[nodiscard]] std::int64_t getArticleTotal() const {
    return inMemory_ && !taken_ ? static_cast<std::int64_t>(memory_.size()) : articleTotal_;
  }

  void deleteArticleSpool() const;

 private:
  std::string path_;
  Disk& disk_;
  int writeError_ = 0;
  std::int64_t articleSent_ = 0;
  std::int64_t articleTotal_ = 0;
  bool nextInMemory_ = false;
  bool inMemory_ = false;
  bool taken_ = false;  // takeMemory() since the last reset
  ArticleBuffer memory_;
};

}  // namespace tidewell
