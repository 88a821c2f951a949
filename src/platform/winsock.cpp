#include "platform/winsock.h"

#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/async_lookup.h"
#include "platform/async_select.h"
#include "platform/host_resolve.h"

namespace tidewell {

namespace {

// The service offers Winsock 1.1 (and 1.0 to whoever asks for it).
constexpr std::uint16_t kHighVersion = 0x0101;
constexpr std::uint16_t kLargestUdpDatagram = 65507;

std::optional<std::string> protocolOf(const char* protocol) {
  return protocol != nullptr ? std::optional<std::string>(protocol) : std::nullopt;
}

void copyText(char* target, std::size_t size, const std::string& text) {
  const std::size_t length = std::min(text.size(), size - 1);
  std::memcpy(target, text.data(), length);
  target[length] = '\0';
}

}  // namespace

Winsock::Winsock(MessageLoop& loop)
    : loop_(loop), select_(std::make_unique<AsyncSelect>(loop)), lookups_(std::make_unique<AsyncLookups>(loop)) {}

Winsock::~Winsock() = default;

int Winsock::startup(std::uint16_t versionRequested, WsaData& data) {
  const int major = versionRequested & 0xFF;
  const int minor = versionRequested >> 8;
  data.highVersion = kHighVersion;
  if (major == 0) {
    return kWsaVerNotSupported;
  }
  data.version = (major > 1 || minor >= 1) ? kHighVersion : versionRequested;
  copyText(data.description, sizeof data.description, description());
  copyText(data.systemStatus, sizeof data.systemStatus, "Running");
  rlimit files{};
  const rlim_t openFiles = getrlimit(RLIMIT_NOFILE, &files) == 0 ? files.rlim_cur : 1024;
  data.maxSockets = static_cast<std::uint16_t>(std::min<rlim_t>(openFiles, 0xFFFF));
  data.maxUdpDatagram = kLargestUdpDatagram;
  data.vendorInfo = nullptr;
  ++startups_;
  return 0;
}

int Winsock::cleanup() {
  if (startups_ == 0) {
    return fail(kWsaNotInitialised);
  }
  if (--startups_ == 0) {
    select_->stopAll();
    lookups_->cancelAll();
  }
  return 0;
}

std::string Winsock::description() {
  utsname system{};
  std::string text = "Tidewell sockets 1.1 on ";
  if (uname(&system) == 0) {
    text += system.sysname;
    text += ' ';
    text += system.release;
  } else {
    text += "POSIX";
  }
  text += " (Berkeley sockets, epoll) with IPv6";
  return text;
}

bool Winsock::requireStarted() {
  if (startups_ > 0) {
    return true;
  }
  lastError_ = kWsaNotInitialised;
  return false;
}

int Winsock::fail(int code) {
  lastError_ = code;
  return kSocketError;
}

// A descriptor that is not open is, to Winsock's callers, not a socket.
int Winsock::failFromErrno() {
  const int error = errno;
  return fail(error == EBADF ? kWsaENotSock : winsockErrorFromErrno(error));
}

int Winsock::asyncSelect(SocketHandle s, TargetHandle target, std::uint32_t message, long events) {
  const int error = select_->select(s, target, message, events);
  return error == 0 ? 0 : fail(error);
}

AsyncHandle Winsock::asyncGetHostByName(TargetHandle target, std::uint32_t message, std::string_view name, char* buffer,
                                        int length) {
  if (!requireStarted()) {
    return kNoRequest;
  }
  AsyncLookups::Query query;
  query.kind = AsyncLookups::Query::Kind::HostByName;
  query.name = std::string(name);
  int error = 0;
  const AsyncHandle request = lookups_->start(std::move(query), target, message, buffer, length, error);
  lastError_ = request == kNoRequest ? error : lastError_;
  return request;
}

AsyncHandle Winsock::asyncGetHostAddresses(TargetHandle target, std::uint32_t message, std::string_view name,
                                           int family, char* buffer, int length) {
  if (!requireStarted()) {
    return kNoRequest;
  }
  if (family != kAfUnspec && family != kAfInet && family != kAfInet6) {
    fail(kWsaEAfNoSupport);
    return kNoRequest;
  }
  AsyncLookups::Query query;
  query.kind = AsyncLookups::Query::Kind::HostAddresses;
  query.name = std::string(name);
  query.family = family;
  int error = 0;
  const AsyncHandle request = lookups_->start(std::move(query), target, message, buffer, length, error);
  lastError_ = request == kNoRequest ? error : lastError_;
  return request;
}

AsyncHandle Winsock::asyncGetHostByAddr(TargetHandle target, std::uint32_t message, const char* address,
                                        int addressLength, int type, char* buffer, int length) {
  if (!requireStarted()) {
    return kNoRequest;
  }
  if (type != kAfInet) {
    fail(kWsaEAfNoSupport);
    return kNoRequest;
  }
  if (address == nullptr || addressLength != 4) {
    fail(kWsaEFault);
    return kNoRequest;
  }
  AsyncLookups::Query query;
  query.kind = AsyncLookups::Query::Kind::HostByAddress;
  std::memcpy(query.address.data(), address, 4);
  int error = 0;
  const AsyncHandle request = lookups_->start(std::move(query), target, message, buffer, length, error);
  lastError_ = request == kNoRequest ? error : lastError_;
  return request;
}

AsyncHandle Winsock::asyncGetServByName(TargetHandle target, std::uint32_t message, std::string_view name,
                                        const char* protocol, char* buffer, int length) {
  if (!requireStarted()) {
    return kNoRequest;
  }
  AsyncLookups::Query query;
  query.kind = AsyncLookups::Query::Kind::ServiceByName;
  query.name = std::string(name);
  query.protocol = protocolOf(protocol);
  int error = 0;
  const AsyncHandle request = lookups_->start(std::move(query), target, message, buffer, length, error);
  lastError_ = request == kNoRequest ? error : lastError_;
  return request;
}

AsyncHandle Winsock::asyncGetServByPort(TargetHandle target, std::uint32_t message, int port, const char* protocol,
                                        char* buffer, int length) {
  if (!requireStarted()) {
    return kNoRequest;
  }
  AsyncLookups::Query query;
  query.kind = AsyncLookups::Query::Kind::ServiceByPort;
  query.port = static_cast<std::uint16_t>(port);
  query.protocol = protocolOf(protocol);
  int error = 0;
  const AsyncHandle request = lookups_->start(std::move(query), target, message, buffer, length, error);
  lastError_ = request == kNoRequest ? error : lastError_;
  return request;
}

int Winsock::cancelAsyncRequest(AsyncHandle request) {
  const int error = lookups_->cancel(request);
  return error == 0 ? 0 : fail(error);
}

bool Winsock::isPending(AsyncHandle request) const {
  return lookups_->isPending(request);
}

std::size_t Winsock::lookupsInFlight() const {
  return lookups_->inFlight();
}

bool Winsock::waitForLookupWorkers(std::chrono::milliseconds limit) {
  return AsyncLookups::waitForWorkers(limit);
}

const HostEntry* Winsock::blockingHostRecord(const HostOutcome& outcome) {
  if (outcome.error != 0) {
    fail(outcome.error);
    return nullptr;
  }
  if (writeHostRecord(outcome.host, blockingRecord_, sizeof blockingRecord_) > kMaxGetHostStruct) {
    fail(kWsaENoBufs);
    return nullptr;
  }
  return reinterpret_cast<const HostEntry*>(blockingRecord_);
}

const ServiceEntry* Winsock::blockingServiceRecord(const ServiceOutcome& outcome) {
  if (outcome.error != 0) {
    fail(outcome.error);
    return nullptr;
  }
  if (writeServiceRecord(outcome.service, blockingRecord_, sizeof blockingRecord_) > kMaxGetHostStruct) {
    fail(kWsaENoBufs);
    return nullptr;
  }
  return reinterpret_cast<const ServiceEntry*>(blockingRecord_);
}

const HostEntry* Winsock::getHostByName(std::string_view name) {
  if (!requireStarted()) {
    return nullptr;
  }
  const HostOutcome outcome = resolveHostByName(std::string(name));
  return blockingHostRecord(outcome);
}

const HostEntry* Winsock::getHostByAddr(const char* address, int addressLength, int type) {
  if (!requireStarted()) {
    return nullptr;
  }
  if (type != kAfInet || address == nullptr || addressLength != 4) {
    fail(type != kAfInet ? kWsaEAfNoSupport : kWsaEFault);
    return nullptr;
  }
  std::array<std::uint8_t, 4> bytes{};
  std::memcpy(bytes.data(), address, 4);
  const HostOutcome outcome = resolveHostByAddress(bytes);
  return blockingHostRecord(outcome);
}

const ServiceEntry* Winsock::getServByName(std::string_view name, const char* protocol) {
  if (!requireStarted()) {
    return nullptr;
  }
  const ServiceOutcome outcome = resolveServiceByName(std::string(name), protocolOf(protocol));
  return blockingServiceRecord(outcome);
}

const ServiceEntry* Winsock::getServByPort(int port, const char* protocol) {
  if (!requireStarted()) {
    return nullptr;
  }
  const ServiceOutcome outcome = resolveServiceByPort(static_cast<std::uint16_t>(port), protocolOf(protocol));
  return blockingServiceRecord(outcome);
}

int Winsock::getHostName(char* buffer, int length) {
  if (!requireStarted()) {
    return kSocketError;
  }
  if (buffer == nullptr || length <= 0) {
    return fail(kWsaEFault);
  }
  if (gethostname(buffer, static_cast<std::size_t>(length)) != 0 ||
      std::memchr(buffer, '\0', static_cast<std::size_t>(length)) == nullptr) {
    buffer[length - 1] = '\0';
    return fail(kWsaEFault);
  }
  return 0;
}

}  // namespace tidewell
