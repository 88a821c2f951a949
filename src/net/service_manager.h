#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "net/socket_messages.h"
#include "platform/message_loop.h"
#include "platform/winsock_types.h"

namespace tidewell {

class ServiceManager;
class SocketManager;
class Winsock;

// The service manager's hidden window: takes the service look-up replies
// (1326) of requests started on the manager's own window.
class ServiceWindow {
 public:
  ServiceWindow(ServiceManager& owner, MessageLoop& loop);
  ~ServiceWindow();
  ServiceWindow(const ServiceWindow&) = delete;
  ServiceWindow& operator=(const ServiceWindow&) = delete;
  ServiceWindow(ServiceWindow&&) = delete;
  ServiceWindow& operator=(ServiceWindow&&) = delete;

  int HandleReply(std::intptr_t lParam);
  [[nodiscard]] TargetHandle target() const { return target_; }

 private:
  ServiceManager& owner_;
  MessageLoop& loop_;
  TargetHandle target_ = kNoTarget;
};

// Service names to ports and back, blocking or asynchronous. A protocol is a
// name such as "tcp" or "udp", or null for any protocol. Ports are in
// network byte order. Replies and buffers follow HostInfoManager's rules
// (message 1326).
class ServiceManager {
 public:
  explicit ServiceManager(SocketManager& manager);
  virtual ~ServiceManager();
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
  [[nodiscard]] std::int32_t lastError() const { return lastError_; }
  [[nodiscard]] std::int32_t outstanding() const { return outstanding_; }
  [[nodiscard]] bool finished() const { return finished_ != 0; }
  [[nodiscard]] AsyncHandle request() const { return request_; }
  [[nodiscard]] const ServiceWindow& window() const { return window_; }

 private:
  int Started(AsyncHandle handle, AsyncHandle& request, bool ownWindow, const char* buffer);

  Winsock& winsock_;
  std::int32_t lastError_ = 0;
  std::int32_t outstanding_ = 0;
  std::uint16_t finished_ = 0;
  std::vector<AsyncHandle> ownRequests_;    // pending on the own window, for outstanding
  std::vector<AsyncHandle> intoOwnBuffer_;  // requests that may still write resultBuffer
  alignas(ServiceEntry) char resultBuffer_[kMaxGetHostStruct];
  AsyncHandle request_ = kNoRequest;
  ServiceWindow window_;
};

}  // namespace tidewell
