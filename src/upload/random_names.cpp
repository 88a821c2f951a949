#include "upload/random_names.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace tidewell {
namespace {

// 32 characters: each random byte gives one of them without bias.
constexpr std::string_view kTokenAlphabet = "abcdefghijklmnopqrstuvwxyz234567";
constexpr std::size_t kSubjectLength = 32;  // 160 bits
constexpr std::size_t kNameLength = 24;     // 120 bits
constexpr std::size_t kLocalPartLength = 10;
constexpr std::size_t kDomainLength = 8;

}  // namespace

std::optional<std::string> randomToken(std::size_t length) {
  std::string token(length, '\0');
  std::size_t filled = 0;
  std::array<unsigned char, 64> bytes{};
  while (filled < length) {
    const std::size_t want = std::min(bytes.size(), length - filled);
    const ssize_t got = getrandom(bytes.data(), want, 0);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return std::nullopt;
    }
    for (ssize_t i = 0; i < got; ++i) {
      token[filled++] = kTokenAlphabet[bytes[static_cast<std::size_t>(i)] % kTokenAlphabet.size()];
    }
  }
  return token;
}

std::optional<RunDisguise> RunDisguise::make() {
  RunDisguise disguise;
  const std::optional<std::string> local = randomToken(kLocalPartLength);
  const std::optional<std::string> domain = randomToken(kDomainLength);
  const std::optional<std::string> idDomain = randomToken(kDomainLength);
  if (!local || !domain || !idDomain) {
    return std::nullopt;
  }
  disguise.from_ = *local + "@" + *domain + ".com";
  disguise.messageIdDomain_ = *idDomain + ".net";
  return disguise;
}

std::optional<std::string> RunDisguise::unused(std::size_t length) {
  // A repeat is next to impossible at these lengths; it is still never given.
  for (;;) {
    std::optional<std::string> token = randomToken(length);
    if (!token || used_.insert(*token).second) {
      return token;
    }
  }
}

std::optional<std::string> RunDisguise::nextSubject() {
  return unused(kSubjectLength);
}

std::optional<std::string> RunDisguise::nameFor(const std::string& sourceName) {
  if (const auto known = names_.find(sourceName); known != names_.end()) {
    return known->second;
  }
  std::optional<std::string> name = unused(kNameLength);
  if (name) {
    names_.emplace(sourceName, *name);
  }
  return name;
}

void RunDisguise::adopt(std::string from, std::string messageIdDomain) {
  from_ = std::move(from);
  messageIdDomain_ = std::move(messageIdDomain);
}

void RunDisguise::keepName(const std::string& sourceName, const std::string& name) {
  used_.insert(name);
  names_.insert_or_assign(sourceName, name);
}

}  // namespace tidewell
