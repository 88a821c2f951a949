#pragma once

#include <cstdint>

#include "net/socket.h"

namespace tidewell {

// A connection-oriented socket. Receive and Send report would-block (10035)
// as success with a byte count of 0, the code kept in lastError; Connect on
// a non-blocking socket reports -1 with 10035 while the connection is under
// way, and its outcome arrives as the connect event.
class StreamSocket : public Socket {
 public:
  // What the socket knows of its connection.
  enum ConnectionState : std::int32_t {
    kNotConnected = 0,
    kConnectAccepted = 1,  // connect() succeeded at once
    kConnected = 2,        // connect event without error, or accepted
    kListening = 3,
  };

  explicit StreamSocket(SocketManager& manager);
  // Wraps an open handle; connectionState is 2 when the handle has a peer,
  // 3 when it listens, else 0.
  StreamSocket(SocketManager& manager, SocketHandle existing);
  StreamSocket(SocketManager& manager, const EndpointAddress& local, int family, int type, int protocol);
  ~StreamSocket() override;

  // recv into buffer; size in: room, out: bytes read (0 when the peer has
  // closed, or on failure). Result 0, or -1 on failure other than 10035.
  int Receive(char* buffer, int& size);
  // send; size in: bytes asked, out: bytes accepted. Fewer bytes than asked
  // is success: the caller compares. Same results as Receive.
  int Send(const char* data, int& size, int flags = 0);
  int ReceiveUrgent(char* buffer, int& size);
  int SendUrgent(const char* data, int& size, int flags = 0);
  // Success: connectionState 3.
  int Listen(int backlog);
  // SetPeerAddress, then ConnectPeer.
  int Connect(const EndpointAddress& peer);
  // Success at once: connectionState 1.
  int ConnectPeer();
  // Accepts into `newSocket` (its handle and peerAddress); success: its
  // connectionState 2 and this socket's family, type and protocol.
  int Accept(StreamSocket& newSocket);
  // Takes over a handle connected elsewhere (HostConnector): its family
  // (kAfInet or kAfInet6), the first 16 bytes of its peer's address, and
  // connectionState 2. The socket's own handle must be closed. Events are
  // asked for afterwards, as after Connect.
  void AdoptConnected(SocketHandle connected, int newFamily, const void* peer);

  int OnRead(SocketHandle s, int error) override;
  int OnWrite(SocketHandle s, int error) override;
  int OnOutOfBand(SocketHandle s, int error) override;
  int OnAccept(SocketHandle s, int error) override;
  // Error 0: connectionState 2, result 0. Otherwise connectionState 0, the
  // error recorded, -1.
  int OnConnect(SocketHandle s, int error) override;
  int OnClose(SocketHandle s, int error) override;

  [[nodiscard]] std::int32_t connectionState() const { return connectionState_; }

 private:
  std::int32_t connectionState_ = kNotConnected;
};

}  // namespace tidewell
