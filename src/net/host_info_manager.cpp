#include "net/host_info_manager.h"

#include <algorithm>
#include <cstring>

#include "net/socket_manager.h"
#include "platform/host_record.h"
#include "platform/winsock.h"

namespace tidewell {

HostInfoManager::HostInfoManager(SocketManager& manager)
    : requests_(manager, kHostLookupMessage, [this](int error) { OnReply(error); }) {
  writeHostRecord(HostData{}, requests_.buffer(), kMaxGetHostStruct);
}

const HostEntry* HostInfoManager::hostEntry() const {
  return reinterpret_cast<const HostEntry*>(requests_.buffer());
}

int HostInfoManager::LocalHostName(char* buffer, int size) {
  if (requests_.winsock().getHostName(buffer, size) != 0) {
    return requests_.failed();
  }
  return 0;
}

int HostInfoManager::HostByName(const HostEntry*& record, std::string_view name) {
  record = requests_.winsock().getHostByName(name);
  if (record == nullptr) {
    return requests_.failed();
  }
  return 0;
}

int HostInfoManager::HostByAddress(const HostEntry*& record, const InternetEndpoint& endpoint) {
  const std::uint32_t address = endpoint.Address();
  char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  record = requests_.winsock().getHostByAddr(bytes, 4, kAfInet);
  if (record == nullptr) {
    return requests_.failed();
  }
  return 0;
}

int HostInfoManager::HostAddressText(char* buffer, int size, std::string_view name) {
  const HostEntry* record = nullptr;
  if (HostByName(record, name) != 0) {
    return -1;
  }
  return FirstAddressText(record, buffer, size);
}

int HostInfoManager::ResolveInto(InternetEndpoint& endpoint, std::string_view name) {
  const HostEntry* record = nullptr;
  if (HostByName(record, name) != 0) {
    return -1;
  }
  if (AddressCount(record) == 0) {
    requests_.setLastError(kWsaNoData);
    return -1;
  }
  endpoint.SetAddress(AddressAt(record, 0));
  return 0;
}

int HostInfoManager::StartByName(AsyncHandle& request, std::string_view name) {
  return StartByNameFor(requests_.target(), request, name, kHostLookupMessage, nullptr);
}

int HostInfoManager::StartByAddress(AsyncHandle& request, const InternetEndpoint& endpoint) {
  return StartByAddressFor(requests_.target(), request, endpoint, kHostLookupMessage, nullptr);
}

int HostInfoManager::StartByNameFor(TargetHandle window, AsyncHandle& request, std::string_view name,
                                    std::uint32_t message, char* buffer) {
  char* into = requests_.bufferFor(buffer);
  return requests_.started(requests_.winsock().asyncGetHostByName(window, message, name, into, kMaxGetHostStruct),
                           request, true, into);
}

int HostInfoManager::StartByAddressFor(TargetHandle window, AsyncHandle& request, const InternetEndpoint& endpoint,
                                       std::uint32_t message, char* buffer) {
  const std::uint32_t address = endpoint.Address();
  char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  char* into = requests_.bufferFor(buffer);
  return requests_.started(
      requests_.winsock().asyncGetHostByAddr(window, message, bytes, 4, kAfInet, into, kMaxGetHostStruct), request,
      true, into);
}

int HostInfoManager::Cancel(AsyncHandle request) {
  return requests_.cancel(request);
}

void HostInfoManager::OnReply(int error) {
  requests_.replied(error);
}

int HostInfoManager::AddressCount(const HostEntry* record) {
  if (record == nullptr || record->addressList == nullptr) {
    return 0;
  }
  int count = 0;
  while (record->addressList[count] != nullptr) {
    ++count;
  }
  return count;
}

std::uint32_t HostInfoManager::AddressAt(const HostEntry* record, int index) {
  if (index < 0 || index >= AddressCount(record)) {
    return 0;
  }
  std::uint32_t address = 0;
  std::memcpy(&address, record->addressList[index], sizeof address);
  return address;
}

int HostInfoManager::FirstAddressText(const HostEntry* record, char* buffer, int size) {
  if (AddressCount(record) == 0 || buffer == nullptr) {
    return -1;
  }
  const char* text = AddressToText(AddressAt(record, 0));
  if (text == nullptr || std::strlen(text) + 1 > static_cast<std::size_t>(std::max(size, 0))) {
    return -1;
  }
  std::memcpy(buffer, text, std::strlen(text) + 1);
  return 0;
}

}  // namespace tidewell
