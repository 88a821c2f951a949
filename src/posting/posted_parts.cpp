#include "posting/posted_parts.h"

namespace tidewell {

void PostedParts::markPosted(std::string_view sourceName, std::int32_t part, std::string messageId) {
  auto file = files_.find(sourceName);
  if (file == files_.end()) {
    file = files_.emplace(std::string(sourceName), std::map<std::int32_t, std::string>{}).first;
  }
  file->second[part] = std::move(messageId);
}

bool PostedParts::isPosted(std::string_view sourceName, std::int32_t part) const {
  return messageIdOf(sourceName, part) != nullptr;
}

const std::string* PostedParts::messageIdOf(std::string_view sourceName, std::int32_t part) const {
  const auto file = files_.find(sourceName);
  if (file == files_.end()) {
    return nullptr;
  }
  const auto found = file->second.find(part);
  return found == file->second.end() ? nullptr : &found->second;
}

bool PostedParts::hasAny(std::string_view sourceName) const {
  const auto file = files_.find(sourceName);
  return file != files_.end() && !file->second.empty();
}

std::int32_t PostedParts::nextUnposted(std::string_view sourceName, std::int32_t after, std::int32_t partCount) const {
  std::int32_t part = after + 1;
  const auto file = files_.find(sourceName);
  if (file == files_.end()) {
    return part;
  }
  while (part <= partCount && file->second.count(part) != 0) {
    ++part;
  }
  return part;
}

void PostedParts::forget(std::string_view sourceName) {
  if (const auto file = files_.find(sourceName); file != files_.end()) {
    files_.erase(file);
  }
}

}  // namespace tidewell
