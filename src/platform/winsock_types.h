#pragma once

#include <cstdint>

namespace tidewell {

// The values of the Winsock 1.1 interface that the socket library speaks,
// with Winsock's numbers. Handles, levels, options and records keep the
// Winsock shapes so the library above can keep its own names and results.

// A socket handle is the descriptor itself.
using SocketHandle = int;
inline constexpr SocketHandle kInvalidSocket = -1;
// Result of a failed call; the code is then in Winsock::lastError().
inline constexpr int kSocketError = -1;

// Events of an asynchronous select (Winsock's FD_ bits).
inline constexpr long kFdRead = 1;
inline constexpr long kFdWrite = 2;
inline constexpr long kFdOob = 4;
inline constexpr long kFdAccept = 8;
inline constexpr long kFdConnect = 16;
inline constexpr long kFdClose = 32;
inline constexpr long kFdAllEvents = 63;

// lParam of a socket event: the event in the low 16 bits, the error in the
// high 16 bits (WSAMAKESELECTREPLY). Look-up replies carry the record's
// length where the event would be (WSAMAKEASYNCREPLY).
[[nodiscard]] constexpr std::intptr_t makeSelectReply(long event, int error) {
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(error & 0xFFFF) << 16) |
                                    (static_cast<std::uint32_t>(event) & 0xFFFFu));
}
[[nodiscard]] constexpr std::intptr_t makeAsyncReply(int length, int error) {
  return makeSelectReply(length, error);
}
[[nodiscard]] constexpr int selectEventOf(std::intptr_t lParam) {
  return static_cast<int>(static_cast<std::uint32_t>(lParam) & 0xFFFFu);
}
[[nodiscard]] constexpr int selectErrorOf(std::intptr_t lParam) {
  return static_cast<int>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFFu);
}

// Handle of an asynchronous look-up; 0 is none.
using AsyncHandle = std::uint32_t;
inline constexpr AsyncHandle kNoRequest = 0;

// Size of the buffer a host or service record is written into (MAXGETHOSTSTRUCT).
inline constexpr int kMaxGetHostStruct = 1024;

// Address family, socket types, shutdown directions and flags: the same
// numbers on both systems.
inline constexpr int kAfUnspec = 0;
inline constexpr int kAfInet = 2;
// IPv6 has Winsock's own number (23); the service translates it to the
// system's in sockets and addresses, both ways.
inline constexpr int kAfInet6 = 23;
// An IPv6 socket address (sockaddr_in6): family, port, flow label, the 16
// address bytes, scope: 28 bytes.
inline constexpr int kInet6AddressLength = 28;
inline constexpr int kSockStream = 1;
inline constexpr int kSockDgram = 2;
inline constexpr int kShutdownReceive = 0;
inline constexpr int kShutdownSend = 1;
inline constexpr int kShutdownBoth = 2;
inline constexpr int kMsgOob = 1;
inline constexpr int kMsgPeek = 2;

// Socket option level and options in Winsock numbering; the stand-in
// translates them to the system's.
inline constexpr int kSolSocket = 0xFFFF;
inline constexpr int kSoDebug = 0x0001;
inline constexpr int kSoAcceptConn = 0x0002;
inline constexpr int kSoReuseAddr = 0x0004;
inline constexpr int kSoKeepAlive = 0x0008;
inline constexpr int kSoDontRoute = 0x0010;
inline constexpr int kSoBroadcast = 0x0020;
inline constexpr int kSoLinger = 0x0080;
inline constexpr int kSoOobInline = 0x0100;
inline constexpr int kSoSndBuf = 0x1001;
inline constexpr int kSoRcvBuf = 0x1002;
inline constexpr int kSoError = 0x1007;
inline constexpr int kSoType = 0x1008;
inline constexpr int kIpProtoTcp = 6;
inline constexpr int kTcpNoDelay = 0x0001;

// Winsock's linger value: two 16-bit halves.
struct WinsockLinger {
  std::uint16_t onOff = 0;
  std::uint16_t seconds = 0;
};
static_assert(sizeof(WinsockLinger) == 4);

// ioctlsocket commands.
inline constexpr long kFionRead = 0x4004667F;
inline constexpr long kFionBio = static_cast<long>(0x8004667EL);

// What start-up reports about the socket service (WSADATA).
struct WsaData {
  std::uint16_t version = 0;      // negotiated: major in the low byte
  std::uint16_t highVersion = 0;  // highest the service offers
  char description[257] = {};
  char systemStatus[129] = {};
  std::uint16_t maxSockets = 0;
  std::uint16_t maxUdpDatagram = 0;
  const char* vendorInfo = nullptr;
};

// A host record (HOSTENT) as written into a look-up buffer: every pointer
// points into the same buffer, after the record itself. The look-up of
// both families (asyncGetHostAddresses) writes type 23 with 16-byte
// addresses, IPv4 ones as IPv4-mapped (::ffff:a.b.c.d).
struct HostEntry {
  char* name;
  char** aliases;              // null-terminated list
  std::int16_t addressType;    // 2 (AF_INET), or 23 (AF_INET6)
  std::int16_t addressLength;  // 4, or 16
  char** addressList;          // null-terminated list of addresses, network byte order
};

// A service record (SERVENT), laid out the same way.
struct ServiceEntry {
  char* name;
  char** aliases;
  std::int16_t port;  // network byte order
  char* protocol;
};

}  // namespace tidewell
