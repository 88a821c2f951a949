#include "net/stream_socket.h"

#include "net/socket_manager.h"
#include "platform/winsock.h"

namespace tidewell {

namespace {
constexpr int kAddressLength = 16;
}  // namespace

StreamSocket::StreamSocket(SocketManager& manager) : Socket(manager) {}

StreamSocket::StreamSocket(SocketManager& manager, SocketHandle existing) : Socket(manager, existing) {
  int listening = 0;
  int length = sizeof listening;
  EndpointAddress peer;
  int peerLength = kAddressLength;
  if (winsock().getSockOpt(existing, kSolSocket, kSoAcceptConn, &listening, &length) == 0 && listening != 0) {
    connectionState_ = kListening;
  } else if (winsock().getPeerName(existing, peer.raw(), &peerLength) == 0) {
    connectionState_ = kConnected;
  }
  SetLastError(0);
}

StreamSocket::StreamSocket(SocketManager& manager, const EndpointAddress& local, int family, int type, int protocol)
    : Socket(manager, local, family, type, protocol) {}

StreamSocket::~StreamSocket() = default;

int StreamSocket::Receive(char* buffer, int& size) {
  return Transfer(winsock().recv(handle(), buffer, size, 0), size);
}

int StreamSocket::Send(const char* data, int& size, int flags) {
  return Transfer(winsock().send(handle(), data, size, flags), size);
}

int StreamSocket::ReceiveUrgent(char* buffer, int& size) {
  return Transfer(winsock().recv(handle(), buffer, size, kMsgOob), size);
}

int StreamSocket::SendUrgent(const char* data, int& size, int flags) {
  return Transfer(winsock().send(handle(), data, size, flags | kMsgOob), size);
}

int StreamSocket::Listen(int backlog) {
  if (winsock().listen(handle(), backlog) != 0) {
    return Fail();
  }
  connectionState_ = kListening;
  return 0;
}

int StreamSocket::Connect(const EndpointAddress& peer) {
  SetPeerAddress(peer);
  return ConnectPeer();
}

int StreamSocket::ConnectPeer() {
  // A connection of this program is a dialogue of commands and replies, and
  // an article's last segment must not wait for the acknowledgement of the
  // one before it (Nagle's algorithm against the peer's delayed
  // acknowledgement: about 40 ms per article). Writes are made large
  // already, so small segments are no cost. A socket that refuses the option
  // still connects.
  const int before = lastError();
  if (SetNoDelay(true) != 0) {
    SetLastError(before);
  }
  if (winsock().connect(handle(), peerAddress().raw(), kAddressLength) != 0) {
    return Fail();
  }
  connectionState_ = kConnectAccepted;
  return 0;
}

int StreamSocket::Accept(StreamSocket& newSocket) {
  EndpointAddress peer;
  int length = kAddressLength;
  const SocketHandle accepted = winsock().accept(handle(), peer.raw(), &length);
  if (accepted == kInvalidSocket) {
    return Fail();
  }
  newSocket.AdoptHandle(accepted, peer);
  newSocket.connectionState_ = kConnected;
  newSocket.SetKind(family(), type(), protocol());
  return 0;
}

void StreamSocket::AdoptConnected(SocketHandle connected, int newFamily, const void* peer) {
  EndpointAddress address;
  address.SetRaw(peer);
  AdoptHandle(connected, address);
  SetKind(newFamily, type(), protocol());
  connectionState_ = kConnected;
}

int StreamSocket::OnRead(SocketHandle /*s*/, int error) {
  return RecordEventError(error);
}
int StreamSocket::OnWrite(SocketHandle /*s*/, int error) {
  return RecordEventError(error);
}
int StreamSocket::OnOutOfBand(SocketHandle /*s*/, int error) {
  return RecordEventError(error);
}
int StreamSocket::OnAccept(SocketHandle /*s*/, int /*error*/) {
  return 0;
}
int StreamSocket::OnClose(SocketHandle /*s*/, int error) {
  return RecordEventError(error);
}

int StreamSocket::OnConnect(SocketHandle /*s*/, int error) {
  if (error == 0) {
    connectionState_ = kConnected;
    return 0;
  }
  connectionState_ = kNotConnected;
  return RecordEventError(error);
}

}  // namespace tidewell
