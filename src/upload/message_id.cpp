#include "upload/message_id.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstddef>

namespace tidewell {
namespace {

constexpr std::size_t kRandomBytes = 18;  // 144 bits, 24 characters
constexpr std::size_t kLongestId = 250;
constexpr std::string_view kBase64Url = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr std::string_view kAtomSpecials = "!#$%&'*+-/=?^_`{|}~";

bool isAtomText(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         kAtomSpecials.find(c) != std::string_view::npos;
}

bool fillRandom(unsigned char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t got = getrandom(bytes, size, 0);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

bool isValidMessageIdDomain(std::string_view domain) {
  // "<" + 24 + "@" + domain + ">"
  if (domain.empty() || domain.size() > kLongestId - 27 || domain.front() == '.' || domain.back() == '.') {
    return false;
  }
  char previous = '\0';
  for (const char c : domain) {
    if (c == '.' ? previous == '.' : !isAtomText(c)) {
      return false;
    }
    previous = c;
  }
  return true;
}

std::optional<std::string> newMessageId(std::string_view domain) {
  if (!isValidMessageIdDomain(domain)) {
    return std::nullopt;
  }
  std::array<unsigned char, kRandomBytes> random{};
  if (!fillRandom(random.data(), random.size())) {
    return std::nullopt;
  }
  std::string id = "<";
  for (std::size_t i = 0; i < random.size(); i += 3) {
    const unsigned bits = unsigned{random[i]} << 16 | unsigned{random[i + 1]} << 8 | random[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) {
      id += kBase64Url[(bits >> shift) & 0x3Fu];
    }
  }
  id += '@';
  id += domain;
  id += '>';
  return id;
}

}  // namespace tidewell
