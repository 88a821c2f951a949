#include "posting/server_failover.h"

#include <utility>

#include "platform/host_address.h"
#include "platform/winsock_types.h"
#include "posting/nntp_dialogue.h"
#include "posting/reply_reader.h"
#include "settings/settings_table.h"

namespace tidewell {

void ServerFailover::start(std::vector<ServerChoice> backups) {
  backups_ = std::move(backups);
  index_ = 0;
}

std::string ServerFailover::mark() const {
  if (!onBackup()) {
    return {};
  }
  return " [" + serverLabel(backup()) + "]";
}

std::string serverLabel(const ServerChoice& server) {
  std::string label = server.host.value_or("");
  const bool tls = choiceIndex(Setting::Encryption, server.encryption) == static_cast<std::size_t>(Encryption::Tls);
  const std::int32_t usual = tls ? 563 : 119;
  if (server.port == 0 || server.port == usual) {
    return label;
  }
  const HostAddressResult address = parseHostAddress(label);
  if (address.value && address.value->port) {
    return label;  // the Host names its port itself
  }
  if (address.value && address.value->family == kAfInet6 && !label.starts_with('[')) {
    label = "[" + label + "]";
  }
  return label + ":" + std::to_string(server.port);
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
  std::string text = shownReply(reply);
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  return text;
}

}  // namespace tidewell
