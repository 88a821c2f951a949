#include "net/datagram_socket.h"

#include "net/socket_manager.h"
#include "platform/winsock.h"

namespace tidewell {

namespace {
constexpr int kAddressLength = 16;
}  // namespace

DatagramSocket::DatagramSocket(SocketManager& manager) : Socket(manager) {}

DatagramSocket::DatagramSocket(SocketManager& manager, SocketHandle existing) : Socket(manager, existing) {}

DatagramSocket::DatagramSocket(SocketManager& manager, const EndpointAddress& local, int family, int type, int protocol)
    : Socket(manager, local, family, type, protocol) {}

DatagramSocket::~DatagramSocket() = default;

int DatagramSocket::ReceiveFrom(char* buffer, int& size, EndpointAddress& from) {
  int length = kAddressLength;
  return Transfer(winsock().recvFrom(handle(), buffer, size, 0, from.raw(), &length), size);
}

int DatagramSocket::SendTo(const char* data, int& size, const EndpointAddress& to) {
  return Transfer(winsock().sendTo(handle(), data, size, 0, to.raw(), kAddressLength), size);
}

int DatagramSocket::SendToPeer(const char* data, int& size) {
  return SendTo(data, size, peerAddress());
}

int DatagramSocket::OnRead(SocketHandle /*s*/, int error) {
  return RecordEventError(error);
}
int DatagramSocket::OnWrite(SocketHandle /*s*/, int error) {
  return RecordEventError(error);
}

}  // namespace tidewell
