#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tidewell {

// One file of the upload list: its name as the directory listing gives it
// and its FILES.BBS description. Either text may be absent (no lookup made,
// nothing found); a present description may be empty. Each entry owns the
// entry that follows it.
class nodeClass {
 public:
  nodeClass(std::optional<std::string> name, std::optional<std::string> description,
            std::unique_ptr<nodeClass> next = nullptr);
  // Destroys the entries that follow one by one, without recursion, so a
  // long chain cannot exhaust the stack.
  ~nodeClass();
  nodeClass(const nodeClass&) = delete;
  nodeClass& operator=(const nodeClass&) = delete;

  [[nodiscard]] const std::optional<std::string>& getName() const { return name_; }
  void setName(std::optional<std::string> name) { name_ = std::move(name); }
  [[nodiscard]] const std::optional<std::string>& getDescription() const { return description_; }
  void setDescription(std::optional<std::string> description) { description_ = std::move(description); }

  // The name the article texts carry (subject, "begin" line, report): the
  // name lower-cased, or the name as listed when another file of the list
  // has the same lower-cased name, so that the two decode to two files.
  [[nodiscard]] std::string textName() const;
  void setKeepsListedName(bool keep) { keepsListedName_ = keep; }

  [[nodiscard]] nodeClass* getNext() { return next_.get(); }
  [[nodiscard]] const nodeClass* getNext() const { return next_.get(); }
  // Links `next` after this entry and hands back the entry that was linked
  // before (the caller decides what becomes of it).
  [[nodiscard]] std::unique_ptr<nodeClass> setNext(std::unique_ptr<nodeClass> next);

 private:
  friend class nodeManagerClass;

  std::optional<std::string> name_;
  std::optional<std::string> description_;
  bool keepsListedName_ = false;
  std::unique_ptr<nodeClass> next_;
};

// Upload names compare without regard to ASCII letter case: byte by byte,
// a-z folded to A-Z, each byte taken as a signed 8-bit value (so "_" sorts
// after the letters and bytes of 0x80 and above before every ASCII byte).
// Negative, zero or positive like strcmp.
[[nodiscard]] int compareUploadNames(std::string_view a, std::string_view b);

// The upload list, kept in name order. It owns its entries: removing an
// entry, clearing the list and destroying it destroy the entries concerned.
class nodeManagerClass {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = nodeClass;
    using difference_type = std::ptrdiff_t;
    using pointer = const nodeClass*;
    using reference = const nodeClass&;

    const_iterator() = default;
    explicit const_iterator(const nodeClass* node) : node_(node) {}
    reference operator*() const { return *node_; }
    pointer operator->() const { return node_; }
    const_iterator& operator++() {
      node_ = node_->getNext();
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const const_iterator&) const = default;

   private:
    const nodeClass* node_ = nullptr;
  };

  nodeManagerClass() = default;
  ~nodeManagerClass() = default;
  nodeManagerClass(const nodeManagerClass&) = delete;
  nodeManagerClass& operator=(const nodeManagerClass&) = delete;

  [[nodiscard]] nodeClass* getHead() { return head_.get(); }
  [[nodiscard]] const nodeClass* getHead() const { return head_.get(); }
  [[nodiscard]] bool isEmpty() const { return head_ == nullptr; }
  [[nodiscard]] std::size_t size() const;

  // Destroys every entry, first to last.
  void clear();
  // Inserts in name order: an entry without a name goes in front of the
  // whole list; otherwise before the first named entry whose name compares
  // greater, so equal names keep their order of insertion. Null is ignored.
  void insertSorted(std::unique_ptr<nodeClass> entry);
  // Links the entry after the last one, whatever its name (files posted
  // after the listed ones, such as the recovery set). Null is ignored.
  void append(std::unique_ptr<nodeClass> entry);
  // Unlinks and destroys the entry found by identity; an entry not in the
  // list, null or an empty list change nothing.
  void removeEntry(const nodeClass* entry);
  // removeEntry on the first entry.
  void removeHead() { removeEntry(head_.get()); }

  [[nodiscard]] const_iterator begin() const { return const_iterator(head_.get()); }
  [[nodiscard]] const_iterator end() const { return const_iterator(); }

 private:
  std::unique_ptr<nodeClass> head_;
};

// removeEntry applied to the first entry of `list`: the posting session
// calls it when a file is done or could not be encoded.
inline void removeHead(nodeManagerClass& list) {
  list.removeHead();
}

}  // namespace tidewell
