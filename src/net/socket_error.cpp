#include "net/socket_error.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/winsock_errors.h"

namespace tidewell {

namespace {

// Longest caption taken from the string resources, terminator included.
constexpr std::size_t kCaptionSize = 90;

void copyCut(std::string_view text, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) {
    return;
  }
  const std::size_t length = std::min(text.size(), size - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace

std::string_view StringResource(int identifier) {
  return winsockErrorDescription(identifier);
}

SocketError::SocketError(std::int32_t code, std::int32_t textSize) : code_(code), textSize_(std::max(textSize, 1)) {
  BuildText();
}

SocketError::SocketError(const SocketError& other) = default;

SocketError& SocketError::operator=(const SocketError& other) {
  if (this != &other) {
    code_ = other.code_;
    const std::string_view text(other.Text());
    ReplaceText(text, text.size() + 1);
  }
  return *this;
}

void SocketError::SetCode(std::int32_t code) {
  code_ = code;
  BuildText();
}

void SocketError::BuildText() {
  const auto size = static_cast<std::size_t>(textSize_);
  // The description, like any fetched string, is cut to the buffer's size.
  const std::string_view description = StringResource(code_).substr(0, size - 1);
  std::vector<char> text(size, '\0');
  std::snprintf(text.data(), size, "Winsock Error %d %.*s", static_cast<int>(code_),
                static_cast<int>(description.size()), description.data());
  text_ = std::move(text);
}

void SocketError::ReplaceText(std::string_view text, std::size_t bufferBytes) {
  std::vector<char> replaced(std::max<std::size_t>(bufferBytes, 1), '\0');
  copyCut(text, replaced.data(), replaced.size());
  text_ = std::move(replaced);
}

char* SocketError::CopyTextTo(char* buffer, std::size_t size) const {
  copyCut(Text(), buffer, size);
  return buffer;
}

const char* SocketError::ComposeWithCaption(std::string_view caption, char* buffer, std::size_t size) {
  std::string composed(caption);
  composed += "\n\n";
  composed += Text();
  if (buffer != nullptr) {
    copyCut(composed, buffer, size);
    return buffer;
  }
  // The own text grows to hold the whole composition: nothing is cut.
  ReplaceText(composed, std::max(static_cast<std::size_t>(textSize_), composed.size() + 1));
  return Text();
}

const char* SocketError::ComposeWithResourceCaption(int identifier, char* buffer, std::size_t size) {
  const std::string caption(StringResource(identifier).substr(0, kCaptionSize - 1));
  copyCut(caption, buffer, size);
  return ComposeWithCaption(caption);
}

}  // namespace tidewell
