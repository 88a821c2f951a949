#include "net/service_manager.h"

#include <algorithm>
#include <cstring>

#include "net/socket_manager.h"
#include "platform/host_record.h"
#include "platform/winsock.h"

namespace tidewell {

ServiceManager::ServiceManager(SocketManager& manager)
    : requests_(manager, kServiceLookupMessage, [this](int error) { OnReply(error); }) {
  writeServiceRecord(ServiceData{}, requests_.buffer(), kMaxGetHostStruct);
}

const ServiceEntry* ServiceManager::serviceEntry() const {
  return reinterpret_cast<const ServiceEntry*>(requests_.buffer());
}

int ServiceManager::ServiceByPort(const ServiceEntry*& record, int port, const char* protocol) {
  record = requests_.winsock().getServByPort(port, protocol);
  if (record == nullptr) {
    return requests_.failed();
  }
  return 0;
}

int ServiceManager::ServiceByName(const ServiceEntry*& record, std::string_view name, const char* protocol) {
  record = requests_.winsock().getServByName(name, protocol);
  if (record == nullptr) {
    return requests_.failed();
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
    requests_.setLastError(kWsaEFault);
    return -1;
  }
  std::memcpy(buffer, record->name, length + 1);
  return 0;
}

int ServiceManager::Started(AsyncHandle handle, AsyncHandle& request, bool ownWindow, const char* buffer) {
  if (requests_.started(handle, request, ownWindow, buffer) != 0) {
    return -1;
  }
  if (ownWindow) {
    ownRequests_.push_back(handle);
    ++outstanding_;
  }
  return 0;
}

int ServiceManager::StartByPort(AsyncHandle& request, int port, const char* protocol) {
  return Started(requests_.winsock().asyncGetServByPort(requests_.target(), kServiceLookupMessage, port, protocol,
                                                        requests_.buffer(), kMaxGetHostStruct),
                 request, true, requests_.buffer());
}

int ServiceManager::StartByName(AsyncHandle& request, std::string_view name, const char* protocol) {
  return Started(requests_.winsock().asyncGetServByName(requests_.target(), kServiceLookupMessage, name, protocol,
                                                        requests_.buffer(), kMaxGetHostStruct),
                 request, true, requests_.buffer());
}

int ServiceManager::StartByPortFor(TargetHandle window, AsyncHandle& request, int port, const char* protocol,
                                   std::uint32_t message, char* buffer) {
  char* into = requests_.bufferFor(buffer);
  return Started(requests_.winsock().asyncGetServByPort(window, message, port, protocol, into, kMaxGetHostStruct),
                 request, false, into);
}

int ServiceManager::StartByNameFor(TargetHandle window, AsyncHandle& request, std::string_view name,
                                   const char* protocol, std::uint32_t message, char* buffer) {
  char* into = requests_.bufferFor(buffer);
  return Started(requests_.winsock().asyncGetServByName(window, message, name, protocol, into, kMaxGetHostStruct),
                 request, false, into);
}

int ServiceManager::Cancel(AsyncHandle request) {
  request = requests_.resolve(request);
  if (requests_.cancel(request) != 0) {
    return -1;
  }
  // Only requests on the own target were counted.
  const auto own = std::find(ownRequests_.begin(), ownRequests_.end(), request);
  if (own != ownRequests_.end()) {
    ownRequests_.erase(own);
    --outstanding_;
  }
  return 0;
}

void ServiceManager::OnReply(int error) {
  requests_.replied(error);
  std::erase_if(ownRequests_, [this](AsyncHandle started) { return !requests_.winsock().isPending(started); });
  outstanding_ = std::max(outstanding_ - 1, 0);
}

}  // namespace tidewell
