#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/message_loop.h"
#include "platform/winsock_errors.h"
#include "platform/winsock_types.h"

namespace tidewell {

class AsyncSelect;
class AsyncLookups;
struct HostOutcome;
struct ServiceOutcome;

// The socket service the program was designed for (Winsock 1.1), standing on
// Berkeley sockets and the program's message loop:
//  - calls answer like Winsock's: -1 (or kInvalidSocket, or 0 for a request
//    handle) on failure with the Winsock code in lastError();
//  - every socket is non-blocking from its creation, close-on-exec, and never
//    takes descriptors 0 to 2; sends never raise SIGPIPE;
//  - asyncSelect() announces the six events as messages to a loop target with
//    Winsock's re-enabling rules (see AsyncSelect);
//  - host and service look-ups run on worker threads and are delivered on
//    the loop thread (see AsyncLookups).
// New sockets and look-ups need a started service (WSANOTINITIALISED before
// startup()); calls on existing handles always work, so nothing leaks when
// the service is stopped before its sockets are closed.
//
// Single-threaded: every call on the loop's thread. The loop must outlive
// this object.
class Winsock {
 public:
  explicit Winsock(MessageLoop& loop);
  // Stops every selection and abandons pending look-ups: their buffers are
  // never written and no reply is delivered.
  ~Winsock();
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;
  Winsock(Winsock&&) = delete;
  Winsock& operator=(Winsock&&) = delete;

  [[nodiscard]] MessageLoop& loop() const { return loop_; }

  // WSAStartup: the version word has the major version in its low byte.
  // Returns 0 or the error code (not through lastError(), as Winsock does).
  // The service offers 1.0 and 1.1; a higher request is granted 1.1.
  [[nodiscard]] int startup(std::uint16_t versionRequested, WsaData& data);
  // WSACleanup: one start-up less; the last one stops every selection and
  // cancels every pending look-up.
  int cleanup();
  [[nodiscard]] bool started() const { return startups_ > 0; }
  // What the service is on this system, e.g. "Tidewell sockets 1.1 on Linux
  // 6.1.0-18-amd64 (Berkeley sockets, epoll) with IPv6".
  [[nodiscard]] static std::string description();

  // WSAGetLastError / WSASetLastError.
  [[nodiscard]] int lastError() const { return lastError_; }
  void setLastError(int code) { lastError_ = code; }

  // The socket calls. Addresses are 16-byte socket addresses, or 28-byte
  // IPv6 ones (family 23, kInet6AddressLength); lengths are in and out
  // where Winsock's are. Family 23 is IPv6 in socket() too.
  [[nodiscard]] SocketHandle socket(int family, int type, int protocol);
  int closeSocket(SocketHandle s);
  int shutdown(SocketHandle s, int how);
  int bind(SocketHandle s, const void* address, int length);
  // A connection that cannot complete at once reports -1 with
  // WSAEWOULDBLOCK; its outcome arrives as the connect event.
  int connect(SocketHandle s, const void* address, int length);
  int listen(SocketHandle s, int backlog);
  // The new socket takes over the listening socket's event request.
  [[nodiscard]] SocketHandle accept(SocketHandle s, void* address, int* length);
  int recv(SocketHandle s, char* buffer, int length, int flags);
  int send(SocketHandle s, const char* data, int length, int flags);
  int recvFrom(SocketHandle s, char* buffer, int length, int flags, void* from, int* fromLength);
  int sendTo(SocketHandle s, const char* data, int length, int flags, const void* to, int toLength);
  // kFionRead (bytes waiting) and kFionBio (non-blocking on or off).
  int ioctlSocket(SocketHandle s, long command, unsigned long* argument);
  int getSockName(SocketHandle s, void* address, int* length);
  int getPeerName(SocketHandle s, void* address, int* length);
  // Level kSolSocket or kIpProtoTcp with the options of winsock_types.h;
  // kSoLinger takes a WinsockLinger.
  int setSockOpt(SocketHandle s, int level, int option, const void* value, int length);
  int getSockOpt(SocketHandle s, int level, int option, void* value, int* length);

  // WSAAsyncSelect: announce `events` of `s` as `message` to `target`
  // (wParam the socket, lParam makeSelectReply(event, error)). Replaces the
  // socket's previous request; an empty mask stops its events, and events no
  // longer asked for are not delivered even when already queued.
  int asyncSelect(SocketHandle s, TargetHandle target, std::uint32_t message, long events);

  // The asynchronous look-ups. The reply is `message` to `target` with the
  // request's handle in wParam and makeAsyncReply(record length, error) in
  // lParam; the record is written into `buffer` (which must stay alive and
  // be pointer-aligned) just before the reply is delivered, and only when
  // the request was not cancelled and the target still exists. A record that
  // does not fit gives WSAENOBUFS with the size it needs. Result: the
  // request's handle, 0 on failure.
  [[nodiscard]] AsyncHandle asyncGetHostByName(TargetHandle target, std::uint32_t message, std::string_view name,
                                               char* buffer, int length);
  // The addresses of both families (AAAA and A records together; `family`
  // kAfUnspec, or kAfInet or kAfInet6 for one): a type-23 record of 16-byte
  // addresses, IPv4 ones IPv4-mapped, in the system's order of preference.
  [[nodiscard]] AsyncHandle asyncGetHostAddresses(TargetHandle target, std::uint32_t message, std::string_view name,
                                                  int family, char* buffer, int length);
  [[nodiscard]] AsyncHandle asyncGetHostByAddr(TargetHandle target, std::uint32_t message, const char* address,
                                               int addressLength, int type, char* buffer, int length);
  // A null protocol means any protocol.
  [[nodiscard]] AsyncHandle asyncGetServByName(TargetHandle target, std::uint32_t message, std::string_view name,
                                               const char* protocol, char* buffer, int length);
  // `port` in network byte order.
  [[nodiscard]] AsyncHandle asyncGetServByPort(TargetHandle target, std::uint32_t message, int port,
                                               const char* protocol, char* buffer, int length);
  // WSACancelAsyncRequest: no reply and no write after success. A request
  // already delivered gives WSAEALREADY, an unknown handle WSAEINVAL.
  int cancelAsyncRequest(AsyncHandle request);
  // True while the request's reply is still to come.
  [[nodiscard]] bool isPending(AsyncHandle request) const;
  // Requests whose worker has not yet handed its result to the loop thread
  // (cancelled ones included): lets tests wait for every worker to finish.
  [[nodiscard]] std::size_t lookupsInFlight() const;
  // Waits until no look-up worker thread of the process is running, at most
  // `limit`. For tests and an orderly exit; false on time-out.
  static bool waitForLookupWorkers(std::chrono::milliseconds limit);

  // The blocking look-ups. The record lives in storage of this object until
  // the next blocking look-up; null on failure.
  [[nodiscard]] const HostEntry* getHostByName(std::string_view name);
  [[nodiscard]] const HostEntry* getHostByAddr(const char* address, int addressLength, int type);
  [[nodiscard]] const ServiceEntry* getServByName(std::string_view name, const char* protocol);
  [[nodiscard]] const ServiceEntry* getServByPort(int port, const char* protocol);
  int getHostName(char* buffer, int length);

 private:
  bool requireStarted();
  int fail(int code);
  // The outcome of a blocking look-up written as the service's one record
  // (null, with the error recorded, on failure).
  const HostEntry* blockingHostRecord(const HostOutcome& outcome);
  const ServiceEntry* blockingServiceRecord(const ServiceOutcome& outcome);
  // getsockname or getpeername, copied out in the caller's address layout.
  using NameQuery = int (*)(int, sockaddr*, socklen_t*);
  int queryName(NameQuery query, SocketHandle s, void* address, int* length);
  int failFromErrno();

  MessageLoop& loop_;
  int lastError_ = 0;
  int startups_ = 0;
  std::unique_ptr<AsyncSelect> select_;
  std::unique_ptr<AsyncLookups> lookups_;
  alignas(HostEntry) alignas(ServiceEntry) char blockingRecord_[kMaxGetHostStruct] = {};
};

}  // namespace tidewell
