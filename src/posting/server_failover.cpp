#include "posting/server_failover.h"

#include <utility>

namespace tidewell {

void ServerFailover::start(std::vector<ServerChoice> backups) {
  backups_ = std::move(backups);
  index_ = 0;
}

std::string ServerFailover::mark() const {
  if (!onBackup()) {
    return {};
  }
  return " [" + backup().host.value_or("") + "]";
}

std::string serverMoveText(std::string_view from, std::string_view to, std::string_view why) {
  std::string text = "Moving from ";
  text += from;
  text += " to ";
  text += to;
  text += ": ";
  text += why;
  return text;
}

std::string unreachableText(int reconnections) {
  return "unreachable after " + std::to_string(reconnections) + " reconnections";
}

std::string replyAsReason(std::string_view reply) {
  std::string text;
  for (const char c : reply) {
    if (c == '\r' || c == '\n') {
      continue;
    }
    const auto byte = static_cast<unsigned char>(c);
    text += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  return text;
}

}  // namespace tidewell
