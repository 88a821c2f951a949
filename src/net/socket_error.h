#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tidewell {

// The program's string resources, looked up by number: the description of
// each Winsock error code under the code's own number. Empty for numbers
// without a string.
[[nodiscard]] std::string_view StringResource(int identifier);

// A Winsock error code with its message text "Winsock Error %d %s" (the code
// and its short description). The text buffer holds `textSize` bytes after
// construction and SetCode; a text that would not fit is cut, never written
// past the buffer.
class SocketError {
 public:
  SocketError(std::int32_t code, std::int32_t textSize = 256);
  virtual ~SocketError() = default;
  SocketError(const SocketError& other);
  // Copies the code and a copy of the text (buffer just large enough);
  // textSize stays this object's.
  SocketError& operator=(const SocketError& other);
  SocketError(SocketError&&) = delete;
  SocketError& operator=(SocketError&&) = delete;

  void SetCode(std::int32_t code);
  [[nodiscard]] std::int32_t Code() const { return code_; }
  [[nodiscard]] const char* Text() const { return text_.data(); }
  [[nodiscard]] std::int32_t textSize() const { return textSize_; }
  // Bytes of the current text buffer, terminator included.
  [[nodiscard]] std::size_t bufferSize() const { return text_.size(); }

  // Copies the text into the caller's buffer of `size` bytes (cut to fit,
  // always terminated when size > 0) and returns the buffer.
  char* CopyTextTo(char* buffer, std::size_t size) const;
  // caption + "\n\n" + text: into the caller's buffer when one is given
  // (returned), otherwise replacing the text (returned).
  const char* ComposeWithCaption(std::string_view caption, char* buffer = nullptr, std::size_t size = 0);
  // The caption is the string resource `identifier`, at most 89 characters;
  // the composed text replaces the text, which is returned. A caller's
  // buffer, when given, receives the caption.
  const char* ComposeWithResourceCaption(int identifier, char* buffer = nullptr, std::size_t size = 0);
  [[nodiscard]] bool SameAs(const SocketError& other) const { return code_ == other.code_; }

 private:
  void BuildText();
  void ReplaceText(std::string_view text, std::size_t bufferBytes);

  std::int32_t code_;
  std::int32_t textSize_;
  std::vector<char> text_;  // always terminated
};

}  // namespace tidewell
