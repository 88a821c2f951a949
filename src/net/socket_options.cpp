// The socket options of Socket: level SOL_SOCKET, 4-byte values.
#include "net/socket.h"
#include "net/socket_manager.h"
#include "platform/winsock.h"

namespace tidewell {

int Socket::SetFlagOption(int option, bool on) {
  return SetIntOption(option, on ? 1 : 0);
}

int Socket::GetFlagOption(int option, bool& on) {
  int value = 0;
  if (GetIntOption(option, value) != 0) {
    return -1;
  }
  on = value != 0;
  return 0;
}

int Socket::SetIntOption(int option, int value) {
  return winsock().setSockOpt(handle_, kSolSocket, option, &value, sizeof value) == 0 ? 0 : Fail();
}

int Socket::GetIntOption(int option, int& value) {
  int length = sizeof value;
  return winsock().getSockOpt(handle_, kSolSocket, option, &value, &length) == 0 ? 0 : Fail();
}

int Socket::SetBroadcast(bool on) {
  return SetFlagOption(kSoBroadcast, on);
}
int Socket::GetBroadcast(bool& on) {
  return GetFlagOption(kSoBroadcast, on);
}
int Socket::SetDebug(bool on) {
  return SetFlagOption(kSoDebug, on);
}
int Socket::GetDebug(bool& on) {
  return GetFlagOption(kSoDebug, on);
}
int Socket::SetKeepAlive(bool on) {
  return SetFlagOption(kSoKeepAlive, on);
}
int Socket::GetKeepAlive(bool& on) {
  return GetFlagOption(kSoKeepAlive, on);
}
int Socket::SetOutOfBandInline(bool on) {
  return SetFlagOption(kSoOobInline, on);
}
int Socket::GetOutOfBandInline(bool& on) {
  return GetFlagOption(kSoOobInline, on);
}
int Socket::SetReuseAddress(bool on) {
  return SetFlagOption(kSoReuseAddr, on);
}
int Socket::GetReuseAddress(bool& on) {
  return GetFlagOption(kSoReuseAddr, on);
}
int Socket::SetReceiveBufferSize(int bytes) {
  return SetIntOption(kSoRcvBuf, bytes);
}
int Socket::GetReceiveBufferSize(int& bytes) {
  return GetIntOption(kSoRcvBuf, bytes);
}
int Socket::SetSendBufferSize(int bytes) {
  return SetIntOption(kSoSndBuf, bytes);
}
int Socket::GetSendBufferSize(int& bytes) {
  return GetIntOption(kSoSndBuf, bytes);
}

int Socket::SetNoDelay(bool on) {
  const int value = on ? 1 : 0;
  return winsock().setSockOpt(handle_, kIpProtoTcp, kTcpNoDelay, &value, sizeof value) == 0 ? 0 : Fail();
}

int Socket::GetNoDelay(bool& on) {
  int value = 0;
  int length = sizeof value;
  if (winsock().getSockOpt(handle_, kIpProtoTcp, kTcpNoDelay, &value, &length) != 0) {
    return Fail();
  }
  on = value != 0;
  return 0;
}

int Socket::SetRouting(bool allowed) {
  return SetFlagOption(kSoDontRoute, !allowed);
}

int Socket::GetRouting(bool& allowed) {
  bool dontRoute = false;
  if (GetFlagOption(kSoDontRoute, dontRoute) != 0) {
    return -1;
  }
  allowed = !dontRoute;
  return 0;
}

int Socket::SetLinger(int on, int seconds) {
  const WinsockLinger value{static_cast<std::uint16_t>(on != 0 ? 1 : 0), static_cast<std::uint16_t>(seconds)};
  return winsock().setSockOpt(handle_, kSolSocket, kSoLinger, &value, sizeof value) == 0 ? 0 : Fail();
}

int Socket::GetLinger(int& on, int& seconds) {
  WinsockLinger value;
  int length = sizeof value;
  if (winsock().getSockOpt(handle_, kSolSocket, kSoLinger, &value, &length) != 0) {
    return Fail();
  }
  on = value.onOff;
  seconds = value.seconds;
  return 0;
}

}  // namespace tidewell
