// The Berkeley socket calls behind Winsock's, with Winsock's results.
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/async_select.h"
#include "platform/winsock.h"

namespace tidewell {

namespace {

// Winsock's socket addresses are 16 bytes (sockaddr_in).
constexpr int kAddressLength = static_cast<int>(sizeof(sockaddr_in));

// A socket must never take descriptor 0, 1 or 2: with a standard stream
// closed, the program's own output would otherwise go to the peer.
int aboveStandardDescriptors(int fd) {
  if (fd < 0 || fd > 2) {
    return fd;
  }
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  const int saved = errno;
  close(fd);
  errno = saved;
  return moved;
}

// A descriptor that is not open is, to Winsock's callers, not a socket.
int callError(int errnoValue) {
  return errnoValue == EBADF ? kWsaENotSock : winsockErrorFromErrno(errnoValue);
}

bool isConnectionLoss(int errnoValue) {
  return errnoValue == ECONNRESET || errnoValue == ECONNABORTED || errnoValue == EPIPE || errnoValue == ETIMEDOUT;
}

// A Winsock option as the system's level and name; false when unknown.
bool knownOption(int level, int option, int& systemLevel, int& systemName) {
  if (level == kIpProtoTcp) {
    systemLevel = IPPROTO_TCP;
    systemName = TCP_NODELAY;
    return option == kTcpNoDelay;
  }
  systemLevel = SOL_SOCKET;
  switch (option) {
    case kSoDebug:
      systemName = SO_DEBUG;
      return true;
    case kSoAcceptConn:
      systemName = SO_ACCEPTCONN;
      return true;
    case kSoReuseAddr:
      systemName = SO_REUSEADDR;
      return true;
    case kSoKeepAlive:
      systemName = SO_KEEPALIVE;
      return true;
    case kSoDontRoute:
      systemName = SO_DONTROUTE;
      return true;
    case kSoBroadcast:
      systemName = SO_BROADCAST;
      return true;
    case kSoLinger:
      systemName = SO_LINGER;
      return true;
    case kSoOobInline:
      systemName = SO_OOBINLINE;
      return true;
    case kSoSndBuf:
      systemName = SO_SNDBUF;
      return true;
    case kSoRcvBuf:
      systemName = SO_RCVBUF;
      return true;
    case kSoError:
      systemName = SO_ERROR;
      return true;
    case kSoType:
      systemName = SO_TYPE;
      return true;
    default:
      return false;
  }
}

// The system's level and name of a Winsock option for setsockopt and
// getsockopt: 0, or the Winsock error for a level other than socket and
// TCP (WSAEINVAL) or an option the level does not know (WSAENOPROTOOPT).
int systemOption(int level, int option, int& systemLevel, int& systemName) {
  if (level != kSolSocket && level != kIpProtoTcp) {
    return kWsaEInval;
  }
  return knownOption(level, option, systemLevel, systemName) ? 0 : kWsaENoProtoOpt;
}

// A caller's address in the system's layout: IPv6 ones (family 23) need
// their 28 bytes and get the system's family number. False: too short.
bool addressIn(const void* address, int length, sockaddr_storage& system, socklen_t& systemLength) {
  if (address == nullptr || length < kAddressLength) {
    return false;
  }
  std::uint16_t family = 0;
  std::memcpy(&family, address, sizeof family);
  if (family == kAfInet6) {
    if (length < kInet6AddressLength) {
      return false;
    }
    std::memcpy(&system, address, sizeof(sockaddr_in6));
    system.ss_family = AF_INET6;
    systemLength = sizeof(sockaddr_in6);
    return true;
  }
  std::memcpy(&system, address, static_cast<std::size_t>(kAddressLength));
  systemLength = static_cast<socklen_t>(kAddressLength);
  return true;
}

// Copies a system address out to a Winsock caller: length in and out.
bool copyAddressOut(const sockaddr_storage& address, socklen_t actual, void* out, int* length) {
  if (out == nullptr || length == nullptr) {
    return out == nullptr && length == nullptr;
  }
  if (*length < kAddressLength) {
    return false;
  }
  sockaddr_storage copy = address;
  if (copy.ss_family == AF_INET6) {
    copy.ss_family = kAfInet6;
  }
  const auto bytes = std::min<std::size_t>(actual, static_cast<std::size_t>(*length));
  std::memcpy(out, &copy, bytes);
  *length = static_cast<int>(bytes);
  return true;
}

}  // namespace

SocketHandle Winsock::socket(int family, int type, int protocol) {
  if (!requireStarted()) {
    return kInvalidSocket;
  }
  const int systemFamily = family == kAfInet6 ? AF_INET6 : family;
  const int fd = aboveStandardDescriptors(::socket(systemFamily, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol));
  if (fd < 0) {
    failFromErrno();
    return kInvalidSocket;
  }
  return fd;
}

int Winsock::closeSocket(SocketHandle s) {
  select_->closed(s);
  // On Linux the descriptor is gone even when close() reports EINTR.
  if (::close(s) != 0 && errno != EINTR) {
    return fail(callError(errno));
  }
  return 0;
}

int Winsock::shutdown(SocketHandle s, int how) {
  if (::shutdown(s, how) != 0) {
    return failFromErrno();
  }
  select_->shutDown(s, how);
  return 0;
}

int Winsock::bind(SocketHandle s, const void* address, int length) {
  sockaddr_storage system{};
  socklen_t systemLength = 0;
  if (!addressIn(address, length, system, systemLength)) {
    return fail(kWsaEFault);
  }
  if (::bind(s, reinterpret_cast<const sockaddr*>(&system), systemLength) != 0) {
    return failFromErrno();
  }
  return 0;
}

int Winsock::connect(SocketHandle s, const void* address, int length) {
  sockaddr_storage system{};
  socklen_t systemLength = 0;
  if (!addressIn(address, length, system, systemLength)) {
    return fail(kWsaEFault);
  }
  if (::connect(s, reinterpret_cast<const sockaddr*>(&system), systemLength) == 0) {
    select_->connecting(s);
    return 0;
  }
  const int error = errno;
  if (error == EINPROGRESS) {
    select_->connecting(s);
  }
  return fail(callError(error));
}

int Winsock::listen(SocketHandle s, int backlog) {
  if (::listen(s, backlog) != 0) {
    return failFromErrno();
  }
  select_->listening(s);
  return 0;
}

SocketHandle Winsock::accept(SocketHandle s, void* address, int* length) {
  if ((address != nullptr) != (length != nullptr) || (length != nullptr && *length < kAddressLength)) {
    fail(kWsaEFault);
    return kInvalidSocket;
  }
  sockaddr_storage peer{};
  socklen_t peerLength = sizeof peer;
  const int fd = aboveStandardDescriptors(
      ::accept4(s, reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC));
  const int error = errno;
  select_->accepted(s, fd);  // accept re-arms the accept event, whatever its outcome
  if (fd < 0) {
    fail(callError(error));
    return kInvalidSocket;
  }
  copyAddressOut(peer, peerLength, address, length);
  return fd;
}

int Winsock::recv(SocketHandle s, char* buffer, int length, int flags) {
  if (buffer == nullptr || length < 0) {
    return fail(kWsaEFault);
  }
  const ssize_t got = ::recv(s, buffer, static_cast<std::size_t>(length), flags);
  const int error = errno;
  select_->received(s, (flags & kMsgOob) != 0);
  if (got < 0) {
    if (isConnectionLoss(error)) {
      select_->connectionFailed(s, winsockErrorFromErrno(error));
    }
    return fail(callError(error));
  }
  return static_cast<int>(got);
}

int Winsock::send(SocketHandle s, const char* data, int length, int flags) {
  if (data == nullptr || length < 0) {
    return fail(kWsaEFault);
  }
  const ssize_t sent = ::send(s, data, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL);
  const int error = errno;
  if (sent < 0) {
    if (error == EAGAIN || error == EWOULDBLOCK) {
      select_->sendBlocked(s);
    } else if (isConnectionLoss(error)) {
      select_->connectionFailed(s, winsockErrorFromErrno(error));
    }
    return fail(callError(error));
  }
  if (sent < length) {
    select_->sendBlocked(s);
  }
  return static_cast<int>(sent);
}

int Winsock::recvFrom(SocketHandle s, char* buffer, int length, int flags, void* from, int* fromLength) {
  if (buffer == nullptr || length < 0 || (from != nullptr) != (fromLength != nullptr) ||
      (fromLength != nullptr && *fromLength < kAddressLength)) {
    return fail(kWsaEFault);
  }
  sockaddr_storage sender{};
  socklen_t senderLength = sizeof sender;
  const ssize_t got = ::recvfrom(s, buffer, static_cast<std::size_t>(length), flags,
                                 reinterpret_cast<sockaddr*>(&sender), &senderLength);
  const int error = errno;
  select_->received(s, (flags & kMsgOob) != 0);
  if (got < 0) {
    return fail(callError(error));
  }
  copyAddressOut(sender, senderLength, from, fromLength);
  return static_cast<int>(got);
}

int Winsock::sendTo(SocketHandle s, const char* data, int length, int flags, const void* to, int toLength) {
  if (data == nullptr || length < 0 || (to != nullptr && toLength < kAddressLength)) {
    return fail(kWsaEFault);
  }
  const ssize_t sent = ::sendto(s, data, static_cast<std::size_t>(length), flags | MSG_NOSIGNAL,
                                static_cast<const sockaddr*>(to), to != nullptr ? kAddressLength : 0);
  const int error = errno;
  if (sent < 0) {
    if (error == EAGAIN || error == EWOULDBLOCK) {
      select_->sendBlocked(s);
    }
    return fail(callError(error));
  }
  return static_cast<int>(sent);
}

int Winsock::ioctlSocket(SocketHandle s, long command, unsigned long* argument) {
  if (argument == nullptr) {
    return fail(kWsaEFault);
  }
  if (command == kFionRead) {
    int count = 0;
    if (::ioctl(s, FIONREAD, &count) != 0) {
      return failFromErrno();
    }
    *argument = static_cast<unsigned long>(std::max(count, 0));
    return 0;
  }
  if (command == kFionBio) {
    const int flags = fcntl(s, F_GETFL);
    if (flags < 0 || fcntl(s, F_SETFL, *argument != 0 ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) != 0) {
      return failFromErrno();
    }
    return 0;
  }
  return fail(kWsaEInval);
}

int Winsock::queryName(NameQuery query, SocketHandle s, void* address, int* length) {
  if (address == nullptr || length == nullptr) {
    return fail(kWsaEFault);
  }
  sockaddr_storage name{};
  socklen_t nameLength = sizeof name;
  if (query(s, reinterpret_cast<sockaddr*>(&name), &nameLength) != 0) {
    return failFromErrno();
  }
  return copyAddressOut(name, nameLength, address, length) ? 0 : fail(kWsaEFault);
}

int Winsock::getSockName(SocketHandle s, void* address, int* length) {
  return queryName(::getsockname, s, address, length);
}

int Winsock::getPeerName(SocketHandle s, void* address, int* length) {
  return queryName(::getpeername, s, address, length);
}

int Winsock::setSockOpt(SocketHandle s, int level, int option, const void* value, int length) {
  int systemLevel = 0;
  int systemName = 0;
  if (const int error = systemOption(level, option, systemLevel, systemName); error != 0) {
    return fail(error);
  }
  if (value == nullptr || length < 4) {
    return fail(kWsaEFault);
  }
  int result = 0;
  if (option == kSoLinger && level == kSolSocket) {
    WinsockLinger winsockLinger;
    std::memcpy(&winsockLinger, value, sizeof winsockLinger);
    const linger systemLinger{winsockLinger.onOff != 0 ? 1 : 0, winsockLinger.seconds};
    result = ::setsockopt(s, systemLevel, systemName, &systemLinger, sizeof systemLinger);
  } else {
    int number = 0;
    std::memcpy(&number, value, sizeof number);
    result = ::setsockopt(s, systemLevel, systemName, &number, sizeof number);
  }
  return result == 0 ? 0 : failFromErrno();
}

int Winsock::getSockOpt(SocketHandle s, int level, int option, void* value, int* length) {
  int systemLevel = 0;
  int systemName = 0;
  if (const int error = systemOption(level, option, systemLevel, systemName); error != 0) {
    return fail(error);
  }
  if (value == nullptr || length == nullptr || *length < 4) {
    return fail(kWsaEFault);
  }
  if (option == kSoLinger && level == kSolSocket) {
    linger systemLinger{};
    socklen_t size = sizeof systemLinger;
    if (::getsockopt(s, systemLevel, systemName, &systemLinger, &size) != 0) {
      return failFromErrno();
    }
    const WinsockLinger winsockLinger{static_cast<std::uint16_t>(systemLinger.l_onoff != 0 ? 1 : 0),
                                      static_cast<std::uint16_t>(systemLinger.l_linger)};
    std::memcpy(value, &winsockLinger, sizeof winsockLinger);
    *length = sizeof winsockLinger;
    return 0;
  }
  int number = 0;
  socklen_t size = sizeof number;
  if (::getsockopt(s, systemLevel, systemName, &number, &size) != 0) {
    return failFromErrno();
  }
  if (option == kSoError && level == kSolSocket) {
    number = winsockErrorFromErrno(number);
  }
  std::memcpy(value, &number, sizeof number);
  *length = sizeof number;
  return 0;
}

}  // namespace tidewell
