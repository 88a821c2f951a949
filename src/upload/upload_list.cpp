#include "upload/upload_list.h"

#include "platform/text.h"

namespace tidewell {

nodeClass::nodeClass(std::optional<std::string> name, std::optional<std::string> description,
                     std::unique_ptr<nodeClass> next)
    : name_(std::move(name)), description_(std::move(description)), next_(std::move(next)) {}

nodeClass::~nodeClass() {
  std::unique_ptr<nodeClass> rest = std::move(next_);
  while (rest) {
    rest = std::move(rest->next_);
  }
}

std::unique_ptr<nodeClass> nodeClass::setNext(std::unique_ptr<nodeClass> next) {
  std::unique_ptr<nodeClass> old = std::move(next_);
  next_ = std::move(next);
  return old;
}

std::string nodeClass::textName() const {
  std::string name = name_.value_or("");
  return keepsListedName_ ? name : toLowerAscii(std::move(name));
}

int compareUploadNames(std::string_view a, std::string_view b) {
  const auto fold = [](char c) -> int {
    const int value = static_cast<signed char>(c);
    return value >= 'a' && value <= 'z' ? value - ('a' - 'A') : value;
  };
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const int difference = fold(a[i]) - fold(b[i]);
    if (difference != 0) {
      return difference;
    }
  }
  if (a.size() == b.size()) {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

std::size_t nodeManagerClass::size() const {
  std::size_t count = 0;
  for (const nodeClass* node = head_.get(); node != nullptr; node = node->getNext()) {
    ++count;
  }
  return count;
}

void nodeManagerClass::clear() {
  while (head_) {
    head_ = std::move(head_->next_);
  }
}

void nodeManagerClass::insertSorted(std::unique_ptr<nodeClass> entry) {
  if (!entry) {
    return;
  }
  // An entry handed in with a chain of its own takes only itself into the list.
  entry->next_.reset();
  if (!head_ || !entry->name_) {
    entry->next_ = std::move(head_);
    head_ = std::move(entry);
    return;
  }
  std::unique_ptr<nodeClass>* link = &head_;
  while (*link) {
    const auto& name = (*link)->name_;
    if (name && compareUploadNames(*name, *entry->name_) > 0) {
      break;
    }
    link = &(*link)->next_;
  }
  entry->next_ = std::move(*link);
  *link = std::move(entry);
}

void nodeManagerClass::append(std::unique_ptr<nodeClass> entry) {
  if (!entry) {
    return;
  }
  entry->next_.reset();
  std::unique_ptr<nodeClass>* link = &head_;
  while (*link) {
    link = &(*link)->next_;
  }
  *link = std::move(entry);
}

void nodeManagerClass::removeEntry(const nodeClass* entry) {
  if (entry == nullptr) {
    return;
  }
  for (std::unique_ptr<nodeClass>* link = &head_; *link; link = &(*link)->next_) {
    if (link->get() == entry) {
      std::unique_ptr<nodeClass> victim = std::move(*link);
      *link = std::move(victim->next_);
      return;
    }
  }
}

}  // namespace tidewell
