#pragma once

#include "net/socket.h"

namespace tidewell {

// A connectionless socket. Would-block (10035) is success with 0 bytes, the
// code kept in lastError, as for StreamSocket.
class DatagramSocket : public Socket {
 public:
  explicit DatagramSocket(SocketManager& manager);
  DatagramSocket(SocketManager& manager, SocketHandle existing);
  DatagramSocket(SocketManager& manager, const EndpointAddress& local, int family, int type, int protocol);
  ~DatagramSocket() override;

  // recvfrom; size in and out; `from` gets the sender.
  int ReceiveFrom(char* buffer, int& size, EndpointAddress& from);
  // sendto; size in and out.
  int SendTo(const char* data, int& size, const EndpointAddress& to);
  int SendToPeer(const char* data, int& size);

  int OnRead(SocketHandle s, int error) override;
  int OnWrite(SocketHandle s, int error) override;
};

}  // namespace tidewell
