#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace tidewell {

// A composed article in memory: bytes appended at its end, either copied in
// or written in place by an encoder (`room`, then `commit`). Growing never
// clears the new space first, and clear() keeps the storage, so a buffer
// reused from article to article stops allocating after the first.
// A buffer may keep room in front of its bytes (clearLeavingFront), so a
// text made before its headers can take them in front without being moved.
class ArticleBuffer {
 public:
  ArticleBuffer() = default;
  ArticleBuffer(ArticleBuffer&& other) noexcept;
  ArticleBuffer& operator=(ArticleBuffer&& other) noexcept;
  ArticleBuffer(const ArticleBuffer&) = delete;
  ArticleBuffer& operator=(const ArticleBuffer&) = delete;
  ~ArticleBuffer() = default;

  void append(std::string_view text);
  // At least `bytes` of writable space after the end; commit() then adds the
  // bytes actually written (at most `bytes`) to the article.
  [[nodiscard]] char* room(std::size_t bytes);
  void commit(std::size_t bytes) { size_ += bytes; }

  void clear() {
    size_ = 0;
    front_ = 0;
  }
  // Empty, with `bytes` kept free in front of the first byte for prepend().
  void clearLeavingFront(std::size_t bytes);
  // Writes `text` just before the first byte; false (and nothing written)
  // when the room in front is too small.
  [[nodiscard]] bool prepend(std::string_view text);
  // Storage in bytes, the room in front included.
  void reserve(std::size_t bytes);
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] std::size_t capacity() const { return capacity_; }
  [[nodiscard]] std::string_view view() const { return {data_.get() + front_, size_}; }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t front_ = 0;  // free bytes before the first
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace tidewell
