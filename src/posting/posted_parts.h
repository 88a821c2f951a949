#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace tidewell {

// The parts of each file that the server already holds, with the
// Message-ID each went out under: source name (as listed) -> part -> id.
// The session fills it from each 240 and each 223 to STAT (with
// Message-IDs on), and skips the parts it holds when it posts a file, so a
// file taken up again after a broken connection goes on at its first part
// not yet accepted. A run that resumes from a journal, or posts again what
// a check found missing, fills it the same way before the parts are posted.
class PostedParts {
 public:
  // Part `part` (from 1) of `sourceName` is on the server as `messageId`;
  // a part marked again keeps the later id.
  void markPosted(std::string_view sourceName, std::int32_t part, std::string messageId);
  [[nodiscard]] bool isPosted(std::string_view sourceName, std::int32_t part) const;
  // The id the part went out under; nullptr when it is not marked.
  [[nodiscard]] const std::string* messageIdOf(std::string_view sourceName, std::int32_t part) const;
  // Whether any part of the file is marked (nothing to skip otherwise).
  [[nodiscard]] bool hasAny(std::string_view sourceName) const;
  // The first part after `after` (0: from the start) that is not marked;
  // partCount + 1 when every part up to partCount is.
  [[nodiscard]] std::int32_t nextUnposted(std::string_view sourceName, std::int32_t after,
                                          std::int32_t partCount) const;
  // The file is posted again from its first part (it changed, say).
  void forget(std::string_view sourceName);
  void clear() { files_.clear(); }

 private:
  std::map<std::string, std::map<std::int32_t, std::string>, std::less<>> files_;
};

}  // namespace tidewell
