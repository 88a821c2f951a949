#include "net/service_manager.h"

#include <algorithm>
#include <cstring>

#include "net/socket_manager.h"
#include "platform/host_record.h"
#include "platform/winsock.h"

namespace tidewell {

ServiceWindow::ServiceWindow(ServiceManager& owner, MessageLoop& loop) : owner_(owner), loop_(loop) {
  target_ = loop_.createTarget([this](const Message& message) {
    if (message.id == kServiceLookupMessage) {
      HandleReply(message.lParam);
    }
  });
}

ServiceWindow::~ServiceWindow() {
  loop_.destroyTarget(target_);
}

int ServiceWindow::HandleReply(std::intptr_t lParam) {
  owner_.OnReply(selectErrorOf(lParam));
  return 1;
}

ServiceManager::ServiceManager(SocketManager& manager)
    : winsock_(manager.winsock()), resultBuffer_{}, window_(*this, manager.loop()) {
  writeServiceRecord(ServiceData{}, resultBuffer_, kMaxGetHostStruct);
}

ServiceManager::~ServiceManager() {
  if (request_ != kNoRequest && finished_ == 0) {
    Cancel();
  }
  for (const AsyncHandle started : intoOwnBuffer_) {
    if (winsock_.isPending(started)) {
      winsock_.cancelAsyncRequest(started);
    }
  }
}

const ServiceEntry* ServiceManager::serviceEntry() const {
  return reinterpret_cast<const ServiceEntry*>(resultBuffer_);
}

int ServiceManager::ServiceByPort(const ServiceEntry*& record, int port, const char* protocol) {
  record = winsock_.getServByPort(port, protocol);
  if (record == nullptr) {
    lastError_ = winsock_.lastError();
    return -1;
  }
  return 0;
}

int ServiceManager::ServiceByName(const ServiceEntry*& record, std::string_view name, const char* protocol) {
  record = winsock_.getServByName(name, protocol);
  if (record == nullptr) {
    lastError_ = winsock_.lastError();
    return -1;
  }
  return 0;
}

int ServiceManager::PortOfService(std::string_view name, int& port, const char* protocol) {
  const ServiceEntry* record = nullptr;
  if (ServiceByName(record, name, protocol) != 0) {
    return -1;
  }
  port = record->port;
  return 0;
}

int ServiceManager::ServiceNameOfPort(int port, char* buffer, int size, const char* protocol) {
  const ServiceEntry* record = nullptr;
  if (ServiceByPort(record, port, protocol) != 0) {
    return -1;
  }
  const std::size_t length = std::strlen(record->name);
  if (buffer == nullptr || length + 1 > static_cast<std::size_t>(std::max(size, 0))) {
    lastError_ = kWsaEFault;
    return -1;
  }
  std::memcpy(buffer, record->name, length + 1);
  return 0;
}

int ServiceManager::Started(AsyncHandle handle, AsyncHandle& request, bool ownWindow, const char* buffer) {
  request = handle;
  if (handle == kNoRequest) {
    lastError_ = winsock_.lastError();
    return -1;
  }
  if (buffer == resultBuffer_) {
    std::erase_if(intoOwnBuffer_, [this](AsyncHandle started) { return !winsock_.isPending(started); });
    intoOwnBuffer_.push_back(handle);
  }
  if (ownWindow) {
    request_ = handle;
    ownRequests_.push_back(handle);
    ++outstanding_;
  }
  return 0;
}

int ServiceManager::StartByPort(AsyncHandle& request, int port, const char* protocol) {
  finished_ = 0;
  return Started(winsock_.asyncGetServByPort(window_.target(), kServiceLookupMessage, port, protocol, resultBuffer_,
                                             kMaxGetHostStruct),
                 request, true, resultBuffer_);
}

int ServiceManager::StartByName(AsyncHandle& request, std::string_view name, const char* protocol) {
  finished_ = 0;
  return Started(winsock_.asyncGetServByName(window_.target(), kServiceLookupMessage, name, protocol, resultBuffer_,
                                             kMaxGetHostStruct),
                 request, true, resultBuffer_);
}

int ServiceManager::StartByPortFor(TargetHandle window, AsyncHandle& request, int port, const char* protocol,
                                   std::uint32_t message, char* buffer) {
  finished_ = 0;
  char* into = buffer != nullptr ? buffer : resultBuffer_;
  return Started(winsock_.asyncGetServByPort(window, message, port, protocol, into, kMaxGetHostStruct), request, false,
                 into);
}

int ServiceManager::StartByNameFor(TargetHandle window, AsyncHandle& request, std::string_view name,
                                   const char* protocol, std::uint32_t message, char* buffer) {
  finished_ = 0;
  char* into = buffer != nullptr ? buffer : resultBuffer_;
  return Started(winsock_.asyncGetServByName(window, message, name, protocol, into, kMaxGetHostStruct), request, false,
                 into);
}

int ServiceManager::Cancel(AsyncHandle request) {
  if (request == kNoRequest) {
    request = request_;
  }
  if (request == kNoRequest) {
    lastError_ = kWsaEInval;
    return -1;
  }
  if (winsock_.cancelAsyncRequest(request) != 0) {
    lastError_ = winsock_.lastError();
    return -1;
  }
  // Only requests on the own window were counted.
  const auto own = std::find(ownRequests_.begin(), ownRequests_.end(), request);
  if (own != ownRequests_.end()) {
    ownRequests_.erase(own);
    --outstanding_;
  }
  return 0;
}

void ServiceManager::OnReply(int error) {
  if (error != 0) {
    lastError_ = error;
  }
  std::erase_if(ownRequests_, [this](AsyncHandle started) { return !winsock_.isPending(started); });
  outstanding_ = std::max(outstanding_ - 1, 0);
  finished_ = 1;
}

}  // namespace tidewell
