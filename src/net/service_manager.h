#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "net/lookup_requests.h"
#include "net/socket_messages.h"
#include "platform/winsock_types.h"

namespace tidewell {

class SocketManager;

// Service names to ports and back, blocking or asynchronous. A protocol is a
// name such as "tcp" or "udp", or null for any protocol. Ports are in
// network byte order. Replies and buffers follow HostInfoManager's rules
// (message 1326).
class ServiceManager {
 public:
  explicit ServiceManager(SocketManager& manager);
  virtual ~ServiceManager() = default;
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;
  ServiceManager(ServiceManager&&) = delete;
  ServiceManager& operator=(ServiceManager&&) = delete;

  int ServiceByPort(const ServiceEntry*& record, int port, const char* protocol);
  int ServiceByName(const ServiceEntry*& record, std::string_view name, const char* protocol);
  // The record's port, sign-extended from 16 bits.
  int PortOfService(std::string_view name, int& port, const char* protocol);
  // The official name into a buffer of `size` bytes (-1 when it does not fit).
  int ServiceNameOfPort(int port, char* buffer, int size, const char* protocol);

  // On the manager's own window; success: outstanding + 1.
  int StartByPort(AsyncHandle& request, int port, const char* protocol);
  int StartByName(AsyncHandle& request, std::string_view name, const char* protocol);
  // To `window` with `message`; the handle goes only to the caller.
  int StartByPortFor(TargetHandle window, AsyncHandle& request, int port, const char* protocol, std::uint32_t message,
                     char* buffer = nullptr);
  int StartByNameFor(TargetHandle window, AsyncHandle& request, std::string_view name, const char* protocol,
                     std::uint32_t message, char* buffer = nullptr);
  // As HostInfoManager::Cancel; a cancel of a request on the own window
  // lowers outstanding.
  int Cancel(AsyncHandle request = kNoRequest);
  // A reply at the own window: a non-zero error goes to lastError;
  // outstanding - 1; finished 1.
  void OnReply(int error);

  // The record in resultBuffer; an empty record before any reply.
  [[nodiscard]] const ServiceEntry* serviceEntry() const;
  [[nodiscard]] std::int32_t lastError() const { return requests_.lastError(); }
  [[nodiscard]] std::int32_t outstanding() const { return outstanding_; }
  [[nodiscard]] bool finished() const { return requests_.finished(); }
  [[nodiscard]] AsyncHandle request() const { return requests_.request(); }
  // The manager's own reply target.
  [[nodiscard]] TargetHandle target() const { return requests_.target(); }

 private:
  int Started(AsyncHandle handle, AsyncHandle& request, bool ownWindow, const char* buffer);

  std::int32_t outstanding_ = 0;
  std::vector<AsyncHandle> ownRequests_;  // pending on the own target, for outstanding
  LookupRequests requests_;
};

}  // namespace tidewell
