#pragma once

#include <cstdint>

#include "net/endpoint_address.h"
#include "net/socket_messages.h"
#include "net/socket_window.h"
#include "platform/winsock_types.h"

namespace tidewell {

class SocketManager;
class Winsock;

// One socket handle with its addresses, its last error and its own
// notification window. Every socket is non-blocking and event-driven: an
// operation completes at once, fails with a recorded error code, or reports
// that it would block (10035); readiness arrives later as one of six events
// through the window.
//
// Result convention: 0 on success, -1 on failure with the Winsock code in
// lastError(). Every socket lives inside the span of its SocketManager.
// Sockets have identity: no copy, no move.
class Socket {
 public:
  explicit Socket(SocketManager& manager);
  // Wraps an open handle: local and peer names are read from it and the
  // family from the local name; type and protocol from the handle too.
  Socket(SocketManager& manager, SocketHandle existing);
  Socket(SocketManager& manager, const EndpointAddress& local, int family, int type, int protocol);
  // With an open handle and keepOpen not set: linger off (60 seconds), then
  // Close. The window goes with the socket.
  virtual ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&&) = delete;
  Socket& operator=(Socket&&) = delete;

  // No handle, or closed: handle -1, bound 0, result 0. A failed close keeps
  // the handle.
  virtual int Close();
  // No handle: 0, nothing called. Otherwise shutdown(handle, how); on
  // success the socket lets go of its handle (handle -1, bound 0) and
  // releases it, unless keepOpen is set.
  virtual int Shutdown(int how);
  virtual void SetForwardMask(int mask);
  virtual void SetNotifyWindow(TargetHandle window);
  // Opens a new handle of this socket's family, type and protocol.
  virtual int Create();
  // Copies `address` into localAddress, then binds; success sets bound.
  virtual int Bind(const EndpointAddress& address);
  virtual int BindLocal();
  virtual void SetLocalAddress(const EndpointAddress& address);
  virtual void SetPeerAddress(const EndpointAddress& address);
  virtual void SetKind(int newFamily, int newType, int newProtocol);
  // Ask for events (8; 55; `mask`; none). The handle is non-blocking in any
  // case. On failure the window's error is copied into lastError.
  virtual int SelectAccept();
  virtual int SelectConnected();
  virtual int SelectEvents(int mask);
  virtual int SelectNone();
  // Null or "tcp": 6; "udp": 17; any other name: 0 (exact comparison).
  [[nodiscard]] virtual int ProtocolNumber(const char* name) const;
  // Bytes waiting to be read; 0 on failure (nothing recorded).
  [[nodiscard]] virtual long ReadableBytes();
  [[nodiscard]] virtual long PendingBytes();
  // getsockname of `of`; length in and out.
  virtual int LocalNameOf(EndpointAddress& address, int& length, SocketHandle of);
  virtual int LocalName(EndpointAddress& address, int& length);
  // getpeername; a handle of 0 is replaced by this socket's (written back).
  virtual int PeerNameOf(EndpointAddress& address, int& length, SocketHandle& of);
  virtual int PeerName(EndpointAddress& address, int& length);
  // Stores size only when it is greater than 0.
  virtual void SetBufferSize(int size);

  // The event operations, called by the window with the handle named in the
  // event and the error that came with it. The base class ignores them (0).
  virtual int OnRead(SocketHandle s, int error);
  virtual int OnWrite(SocketHandle s, int error);
  virtual int OnOutOfBand(SocketHandle s, int error);
  virtual int OnAccept(SocketHandle s, int error);
  virtual int OnConnect(SocketHandle s, int error);
  virtual int OnClose(SocketHandle s, int error);

  // Socket options (level SOL_SOCKET, 4-byte values).
  int SetBroadcast(bool on);
  int GetBroadcast(bool& on);
  int SetDebug(bool on);
  int GetDebug(bool& on);
  // Linger as Winsock's two 16-bit halves: on (1 or 0), then seconds.
  int SetLinger(int on, int seconds);
  int GetLinger(int& on, int& seconds);
  // `allowed` says whether routing is allowed: stored as SO_DONTROUTE's
  // negation, read back negated.
  int SetRouting(bool allowed);
  int GetRouting(bool& allowed);
  int SetKeepAlive(bool on);
  int GetKeepAlive(bool& on);
  int SetOutOfBandInline(bool on);
  int GetOutOfBandInline(bool& on);
  int SetReceiveBufferSize(int bytes);
  int GetReceiveBufferSize(int& bytes);
  int SetSendBufferSize(int bytes);
  int GetSendBufferSize(int& bytes);
  int SetReuseAddress(bool on);
  int GetReuseAddress(bool& on);
  // TCP_NODELAY (level IPPROTO_TCP): small writes leave at once instead of
  // waiting for the acknowledgement of earlier data (Nagle's algorithm).
  int SetNoDelay(bool on);
  int GetNoDelay(bool& on);

  // Same handle and the same notification window.
  [[nodiscard]] bool SameAs(const Socket& other) const;

  [[nodiscard]] SocketHandle handle() const { return handle_; }
  [[nodiscard]] bool bound() const { return bound_ != 0; }
  [[nodiscard]] const EndpointAddress& localAddress() const { return localAddress_; }
  [[nodiscard]] const EndpointAddress& peerAddress() const { return peerAddress_; }
  [[nodiscard]] int family() const { return family_; }
  [[nodiscard]] int type() const { return type_; }
  [[nodiscard]] int protocol() const { return protocol_; }
  [[nodiscard]] int lastError() const { return lastError_; }
  [[nodiscard]] int bufferSize() const { return bufferSize_; }
  [[nodiscard]] bool keepOpen() const { return keepOpen_ != 0; }
  // While set, destruction and Shutdown leave the handle open.
  void SetKeepOpen(bool keep) { keepOpen_ = keep ? 1 : 0; }
  [[nodiscard]] SocketWindow& window() { return window_; }
  [[nodiscard]] const SocketWindow& window() const { return window_; }
  [[nodiscard]] SocketManager& manager() const { return manager_; }

 protected:
  [[nodiscard]] Winsock& winsock() const;
  // -1 with the service's last error recorded.
  int Fail();
  // Records a non-zero event error (-1), or returns 0 for none.
  int RecordEventError(int error);
  void SetLastError(int code) { lastError_ = code; }
  // Receive and send results: the byte count into size, 0; failure: size
  // 0 and the code recorded, -1, but 0 for would-block.
  int Transfer(int result, int& size);
  // For Accept: the new socket takes the accepted handle and peer address.
  void AdoptHandle(SocketHandle accepted, const EndpointAddress& peer);

 private:
  int SetFlagOption(int option, bool on);
  int GetFlagOption(int option, bool& on);
  int SetIntOption(int option, int value);
  int GetIntOption(int option, int& value);

  SocketManager& manager_;
  SocketHandle handle_ = kInvalidSocket;
  std::uint16_t bound_ = 0;
  EndpointAddress localAddress_;
  EndpointAddress peerAddress_;
  std::int32_t family_ = 0;
  std::int32_t type_ = 0;
  std::int32_t protocol_ = 0;
  std::int32_t lastError_ = 0;
  std::int32_t bufferSize_ = 8192;
  std::uint16_t keepOpen_ = 0;
  SocketWindow window_;
};

}  // namespace tidewell
