#include "upload/article_buffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tidewell {

ArticleBuffer::ArticleBuffer(ArticleBuffer&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ArticleBuffer& ArticleBuffer::operator=(ArticleBuffer&& other) noexcept {
  data_ = std::move(other.data_);
  size_ = std::exchange(other.size_, 0);
  capacity_ = std::exchange(other.capacity_, 0);
  return *this;
}

void ArticleBuffer::reserve(std::size_t bytes) {
  if (bytes <= capacity_) {
    return;
  }
  auto grown = std::make_unique_for_overwrite<char[]>(bytes);
  if (size_ > 0) {
    std::memcpy(grown.get(), data_.get(), size_);
  }
  data_ = std::move(grown);
  capacity_ = bytes;
}

char* ArticleBuffer::room(std::size_t bytes) {
  if (capacity_ - size_ < bytes) {
    // Doubling keeps the copies of a growing article linear in its size.
    reserve(std::max(size_ + bytes, capacity_ * 2));
  }
  return data_.get() + size_;
}

void ArticleBuffer::append(std::string_view text) {
  if (text.empty()) {
    return;
  }
  std::memcpy(room(text.size()), text.data(), text.size());
  size_ += text.size();
}

}  // namespace tidewell
