#include "net/socket.h"

#include <cstring>

#include "net/socket_manager.h"
#include "platform/winsock.h"

namespace tidewell {

namespace {
constexpr int kAddressLength = 16;
}  // namespace

Socket::Socket(SocketManager& manager) : manager_(manager), window_(*this, manager.loop()) {}

Socket::Socket(SocketManager& manager, SocketHandle existing)
    : manager_(manager), handle_(existing), window_(*this, manager.loop()) {
  int length = kAddressLength;
  LocalNameOf(localAddress_, length, handle_);
  length = kAddressLength;
  SocketHandle of = handle_;
  PeerNameOf(peerAddress_, length, of);
  family_ = localAddress_.family;
  int kind = 0;
  length = sizeof kind;
  if (winsock().getSockOpt(handle_, kSolSocket, kSoType, &kind, &length) == 0) {
    type_ = kind;
  }
  lastError_ = 0;
}

Socket::Socket(SocketManager& manager, const EndpointAddress& local, int family, int type, int protocol)
    : manager_(manager),
      localAddress_(local),
      family_(family),
      type_(type),
      protocol_(protocol),
      window_(*this, manager.loop()) {}

Socket::~Socket() {
  if (handle_ != kInvalidSocket && keepOpen_ == 0) {
    SetLinger(0, 60);
    Socket::Close();
  }
}

Winsock& Socket::winsock() const {
  return manager_.winsock();
}

int Socket::Fail() {
  lastError_ = winsock().lastError();
  return -1;
}

int Socket::RecordEventError(int error) {
  if (error == 0) {
    return 0;
  }
  lastError_ = error;
  return -1;
}

int Socket::Transfer(int result, int& size) {
  if (result >= 0) {
    size = result;
    return 0;
  }
  size = 0;
  lastError_ = winsock().lastError();
  return lastError_ == kWsaEWouldBlock ? 0 : -1;
}

void Socket::AdoptHandle(SocketHandle accepted, const EndpointAddress& peer) {
  if (handle_ != kInvalidSocket && keepOpen_ == 0) {
    winsock().closeSocket(handle_);
  }
  handle_ = accepted;
  bound_ = 0;
  peerAddress_ = peer;
}

int Socket::Close() {
  if (handle_ != kInvalidSocket) {
    if (winsock().closeSocket(handle_) != 0) {
      return Fail();
    }
  }
  handle_ = kInvalidSocket;
  bound_ = 0;
  return 0;
}

int Socket::Shutdown(int how) {
  if (handle_ == kInvalidSocket) {
    return 0;
  }
  if (winsock().shutdown(handle_, how) != 0) {
    return Fail();
  }
  // The socket lets go of the handle; releasing it here keeps a shut-down
  // connection from holding a descriptor for the rest of the run.
  if (keepOpen_ == 0) {
    winsock().closeSocket(handle_);
  }
  handle_ = kInvalidSocket;
  bound_ = 0;
  return 0;
}

void Socket::SetForwardMask(int mask) {
  window_.SetForwardMask(mask);
}

void Socket::SetNotifyWindow(TargetHandle window) {
  window_.SetNotifyWindow(window);
}

int Socket::Create() {
  // A handle still open would be lost: close it first (or just let go of it
  // when it is kept open for someone else).
  if (handle_ != kInvalidSocket) {
    if (keepOpen_ == 0) {
      winsock().closeSocket(handle_);
    }
    handle_ = kInvalidSocket;
    bound_ = 0;
  }
  handle_ = winsock().socket(family_, type_, protocol_);
  return handle_ == kInvalidSocket ? Fail() : 0;
}

int Socket::Bind(const EndpointAddress& address) {
  localAddress_ = address;
  if (winsock().bind(handle_, localAddress_.raw(), kAddressLength) != 0) {
    return Fail();
  }
  bound_ = 1;
  return 0;
}

int Socket::BindLocal() {
  return Bind(localAddress_);
}

void Socket::SetLocalAddress(const EndpointAddress& address) {
  localAddress_ = address;
}

void Socket::SetPeerAddress(const EndpointAddress& address) {
  peerAddress_ = address;
}

void Socket::SetKind(int newFamily, int newType, int newProtocol) {
  family_ = newFamily;
  type_ = newType;
  protocol_ = newProtocol;
}

int Socket::SelectAccept() {
  return SelectEvents(kSelectAcceptMask);
}

int Socket::SelectConnected() {
  return SelectEvents(kSelectConnectedMask);
}

int Socket::SelectNone() {
  return SelectEvents(0);
}

int Socket::SelectEvents(int mask) {
  if (window_.SelectEvents(mask) != 0) {
    lastError_ = window_.lastError();
    return -1;
  }
  return 0;
}

int Socket::ProtocolNumber(const char* name) const {
  if (name == nullptr || std::strcmp(name, "tcp") == 0) {
    return 6;
  }
  return std::strcmp(name, "udp") == 0 ? 17 : 0;
}

long Socket::ReadableBytes() {
  unsigned long count = 0;
  if (winsock().ioctlSocket(handle_, kFionRead, &count) != 0) {
    return 0;
  }
  return static_cast<long>(count);
}

long Socket::PendingBytes() {
  return ReadableBytes();
}

int Socket::LocalNameOf(EndpointAddress& address, int& length, SocketHandle of) {
  // The address holds 16 bytes; a larger length would let the call write past it.
  length = length > kAddressLength ? kAddressLength : length;
  return winsock().getSockName(of, address.raw(), &length) == 0 ? 0 : Fail();
}

int Socket::LocalName(EndpointAddress& address, int& length) {
  return LocalNameOf(address, length, handle_);
}

int Socket::PeerNameOf(EndpointAddress& address, int& length, SocketHandle& of) {
  if (of == 0) {
    of = handle_;
  }
  length = length > kAddressLength ? kAddressLength : length;
  return winsock().getPeerName(of, address.raw(), &length) == 0 ? 0 : Fail();
}

int Socket::PeerName(EndpointAddress& address, int& length) {
  SocketHandle of = handle_;
  return PeerNameOf(address, length, of);
}

void Socket::SetBufferSize(int size) {
  if (size > 0) {
    bufferSize_ = size;
  }
}

int Socket::OnRead(SocketHandle /*s*/, int /*error*/) {
  return 0;
}
int Socket::OnWrite(SocketHandle /*s*/, int /*error*/) {
  return 0;
}
int Socket::OnOutOfBand(SocketHandle /*s*/, int /*error*/) {
  return 0;
}
int Socket::OnAccept(SocketHandle /*s*/, int /*error*/) {
  return 0;
}
int Socket::OnConnect(SocketHandle /*s*/, int /*error*/) {
  return 0;
}
int Socket::OnClose(SocketHandle /*s*/, int /*error*/) {
  return 0;
}

bool Socket::SameAs(const Socket& other) const {
  return handle_ == other.handle_ && window_.target() == other.window_.target();
}

}  // namespace tidewell
