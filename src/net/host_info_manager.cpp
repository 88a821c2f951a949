#include "net/host_info_manager.h"

#include <algorithm>
#include <cstring>

#include "net/socket_manager.h"
#include "platform/host_record.h"
#include "platform/winsock.h"

namespace tidewell {

HostInfoWindow::HostInfoWindow(HostInfoManager& owner, MessageLoop& loop) : owner_(owner), loop_(loop) {
  target_ = loop_.createTarget([this](const Message& message) {
    if (message.id == kHostLookupMessage) {
      HandleReply(message.lParam);
    }
  });
}

HostInfoWindow::~HostInfoWindow() {
  loop_.destroyTarget(target_);
}

int HostInfoWindow::HandleReply(std::intptr_t lParam) {
  owner_.OnReply(selectErrorOf(lParam));
  return 1;
}

HostInfoManager::HostInfoManager(SocketManager& manager)
    : winsock_(manager.winsock()), resultBuffer_{}, window_(*this, manager.loop()) {
  writeHostRecord(HostData{}, resultBuffer_, kMaxGetHostStruct);
}

HostInfoManager::~HostInfoManager() {
  if (request_ != kNoRequest && finished_ == 0) {
    Cancel();
  }
  // Requests started before the last one may still be running; none of them
  // may write into this manager's buffer once it is gone.
  for (const AsyncHandle started : intoOwnBuffer_) {
    if (winsock_.isPending(started)) {
      winsock_.cancelAsyncRequest(started);
    }
  }
}

const HostEntry* HostInfoManager::hostEntry() const {
  return reinterpret_cast<const HostEntry*>(resultBuffer_);
}

int HostInfoManager::LocalHostName(char* buffer, int size) {
  if (winsock_.getHostName(buffer, size) != 0) {
    lastError_ = winsock_.lastError();
    return -1;
  }
  return 0;
}

int HostInfoManager::HostByName(const HostEntry*& record, std::string_view name) {
  record = winsock_.getHostByName(name);
  if (record == nullptr) {
    lastError_ = winsock_.lastError();
    return -1;
  }
  return 0;
}

int HostInfoManager::HostByAddress(const HostEntry*& record, const InternetEndpoint& endpoint) {
  const std::uint32_t address = endpoint.Address();
  char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  record = winsock_.getHostByAddr(bytes, 4, kAfInet);
  if (record == nullptr) {
    lastError_ = winsock_.lastError();
    return -1;
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
    lastError_ = kWsaNoData;
    return -1;
  }
  endpoint.SetAddress(AddressAt(record, 0));
  return 0;
}

int HostInfoManager::Started(AsyncHandle handle, AsyncHandle& request, const char* buffer) {
  request = handle;
  request_ = handle;
  if (handle == kNoRequest) {
    lastError_ = winsock_.lastError();
    return -1;
  }
  if (buffer == resultBuffer_) {
    std::erase_if(intoOwnBuffer_, [this](AsyncHandle started) { return !winsock_.isPending(started); });
    intoOwnBuffer_.push_back(handle);
  }
  return 0;
}

int HostInfoManager::StartByName(AsyncHandle& request, std::string_view name) {
  return StartByNameFor(window_.target(), request, name, kHostLookupMessage, nullptr);
}

int HostInfoManager::StartByAddress(AsyncHandle& request, const InternetEndpoint& endpoint) {
  return StartByAddressFor(window_.target(), request, endpoint, kHostLookupMessage, nullptr);
}

int HostInfoManager::StartByNameFor(TargetHandle window, AsyncHandle& request, std::string_view name,
                                    std::uint32_t message, char* buffer) {
  finished_ = 0;
  char* into = buffer != nullptr ? buffer : resultBuffer_;
  return Started(winsock_.asyncGetHostByName(window, message, name, into, kMaxGetHostStruct), request, into);
}

int HostInfoManager::StartByAddressFor(TargetHandle window, AsyncHandle& request, const InternetEndpoint& endpoint,
                                       std::uint32_t message, char* buffer) {
  finished_ = 0;
  const std::uint32_t address = endpoint.Address();
  char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  char* into = buffer != nullptr ? buffer : resultBuffer_;
  return Started(winsock_.asyncGetHostByAddr(window, message, bytes, 4, kAfInet, into, kMaxGetHostStruct), request,
                 into);
}

int HostInfoManager::Cancel(AsyncHandle request) {
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
  return 0;
}

void HostInfoManager::OnReply(int error) {
  if (error != 0) {
    lastError_ = error;
  }
  finished_ = 1;
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
