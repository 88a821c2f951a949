#include "upload/article_buffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tidewell {

ArticleBuffer::ArticleBuffer(ArticleBuffer&& other) noexcept
    : data_(std::move(other.data_)),
      front_(std::exchange(other.front_, 0)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ArticleBuffer& ArticleBuffer::operator=(ArticleBuffer&& other) noexcept {
  data_ = std::move(other.data_);
  front_ = std::exchange(other.front_, 0);
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
    std::memcpy(grown.get() + front_, data_.get() + front_, size_);
  }
  data_ = std::move(grown);
  capacity_ = bytes;
}

char* ArticleBuffer::room(std::size_t bytes) {
  if (capacity_ - front_ - size_ < bytes) {
    // Doubling keeps the copies of a growing article linear in its size.
    reserve(std::max(front_ + size_ + bytes, capacity_ * 2));
  }
  return data_.get() + front_ + size_;
}

void ArticleBuffer::clearLeavingFront(std::size_t bytes) {
  clear();
  reserve(bytes);
  front_ = bytes;
}

bool ArticleBuffer::prepend(std::string_view text) {
  if (text.size() > front_) {
    return false;
  }
  front_ -= text.size();
  if (!text.empty()) {
    std::memcpy(data_.get() + front_, text.data(), text.size());
  }
  size_ += text.size();
  return true;
}

void ArticleBuffer::append(std::string_view text) {
  if (text.empty()) {
    return;
  }
  std::memcpy(room(text.size()), text.data(), text.size());
  size_ += text.size();
}

}  // namespace tidewell
