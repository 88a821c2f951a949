#include "platform/winsock_errors.h"

#include <netdb.h>

#include <array>
#include <cerrno>

namespace tidewell {

namespace {

struct ErrorEntry {
  int code;
  int errnoValue;  // 0: no errno maps to this code
  std::string_view name;
  std::string_view description;
};

// The one table: Winsock code, the errno it is mapped from, Winsock's name
// and a short description. Where several errno values map to one code, the
// code appears once per errno; the first row of a code carries its texts.
constexpr std::array kErrors{
    ErrorEntry{kWsaEIntr, EINTR, "WSAEINTR", "Interrupted function call"},
    ErrorEntry{kWsaEBadF, EBADF, "WSAEBADF", "Bad file handle"},
    ErrorEntry{kWsaEAcces, EACCES, "WSAEACCES", "Permission denied"},
    ErrorEntry{kWsaEAcces, EPERM, "", ""},
    ErrorEntry{kWsaEFault, EFAULT, "WSAEFAULT", "Bad address"},
    ErrorEntry{kWsaEInval, EINVAL, "WSAEINVAL", "Invalid argument"},
    ErrorEntry{kWsaEMFile, EMFILE, "WSAEMFILE", "Too many open sockets"},
    ErrorEntry{kWsaEMFile, ENFILE, "", ""},
    ErrorEntry{kWsaEWouldBlock, EWOULDBLOCK, "WSAEWOULDBLOCK", "Resource temporarily unavailable"},
    ErrorEntry{kWsaEWouldBlock, EAGAIN, "", ""},
    ErrorEntry{kWsaEWouldBlock, EINPROGRESS, "", ""},
    ErrorEntry{kWsaEInProgress, 0, "WSAEINPROGRESS", "Operation now in progress"},
    ErrorEntry{kWsaEAlready, EALREADY, "WSAEALREADY", "Operation already in progress"},
    ErrorEntry{kWsaENotSock, ENOTSOCK, "WSAENOTSOCK", "Socket operation on non-socket"},
    ErrorEntry{kWsaEDestAddrReq, EDESTADDRREQ, "WSAEDESTADDRREQ", "Destination address required"},
    ErrorEntry{kWsaEMsgSize, EMSGSIZE, "WSAEMSGSIZE", "Message too long"},
    ErrorEntry{kWsaEProtoType, EPROTOTYPE, "WSAEPROTOTYPE", "Protocol wrong type for socket"},
    ErrorEntry{kWsaENoProtoOpt, ENOPROTOOPT, "WSAENOPROTOOPT", "Bad protocol option"},
    ErrorEntry{kWsaEProtoNoSupport, EPROTONOSUPPORT, "WSAEPROTONOSUPPORT", "Protocol not supported"},
    ErrorEntry{kWsaESocktNoSupport, ESOCKTNOSUPPORT, "WSAESOCKTNOSUPPORT", "Socket type not supported"},
    ErrorEntry{kWsaEOpNotSupp, EOPNOTSUPP, "WSAEOPNOTSUPP", "Operation not supported"},
    ErrorEntry{kWsaEPfNoSupport, EPFNOSUPPORT, "WSAEPFNOSUPPORT", "Protocol family not supported"},
    ErrorEntry{kWsaEAfNoSupport, EAFNOSUPPORT, "WSAEAFNOSUPPORT", "Address family not supported"},
    ErrorEntry{kWsaEAddrInUse, EADDRINUSE, "WSAEADDRINUSE", "Address already in use"},
    ErrorEntry{kWsaEAddrNotAvail, EADDRNOTAVAIL, "WSAEADDRNOTAVAIL", "Cannot assign requested address"},
    ErrorEntry{kWsaENetDown, ENETDOWN, "WSAENETDOWN", "Network is down"},
    ErrorEntry{kWsaENetUnreach, ENETUNREACH, "WSAENETUNREACH", "Network is unreachable"},
    ErrorEntry{kWsaENetReset, ENETRESET, "WSAENETRESET", "Network dropped connection on reset"},
    ErrorEntry{kWsaEConnAborted, ECONNABORTED, "WSAECONNABORTED", "Software caused connection abort"},
    ErrorEntry{kWsaEConnAborted, EPIPE, "", ""},
    ErrorEntry{kWsaEConnReset, ECONNRESET, "WSAECONNRESET", "Connection reset by peer"},
    ErrorEntry{kWsaENoBufs, ENOBUFS, "WSAENOBUFS", "No buffer space available"},
    ErrorEntry{kWsaENoBufs, ENOMEM, "", ""},
    ErrorEntry{kWsaEIsConn, EISCONN, "WSAEISCONN", "Socket is already connected"},
    ErrorEntry{kWsaENotConn, ENOTCONN, "WSAENOTCONN", "Socket is not connected"},
    ErrorEntry{kWsaEShutdown, ESHUTDOWN, "WSAESHUTDOWN", "Cannot send after socket shutdown"},
    ErrorEntry{kWsaETooManyRefs, ETOOMANYREFS, "WSAETOOMANYREFS", "Too many references"},
    ErrorEntry{kWsaETimedOut, ETIMEDOUT, "WSAETIMEDOUT", "Connection timed out"},
    ErrorEntry{kWsaEConnRefused, ECONNREFUSED, "WSAECONNREFUSED", "Connection refused"},
    ErrorEntry{kWsaELoop, ELOOP, "WSAELOOP", "Cannot translate name"},
    ErrorEntry{kWsaENameTooLong, ENAMETOOLONG, "WSAENAMETOOLONG", "Name too long"},
    ErrorEntry{kWsaEHostDown, EHOSTDOWN, "WSAEHOSTDOWN", "Host is down"},
    ErrorEntry{kWsaEHostUnreach, EHOSTUNREACH, "WSAEHOSTUNREACH", "No route to host"},
    ErrorEntry{kWsaSysNotReady, 0, "WSASYSNOTREADY", "Network subsystem is unavailable"},
    ErrorEntry{kWsaVerNotSupported, 0, "WSAVERNOTSUPPORTED", "Winsock version out of range"},
    ErrorEntry{kWsaNotInitialised, 0, "WSANOTINITIALISED", "Successful WSAStartup not yet performed"},
    ErrorEntry{kWsaEDiscon, 0, "WSAEDISCON", "Graceful shutdown in progress"},
    ErrorEntry{kWsaHostNotFound, 0, "WSAHOST_NOT_FOUND", "Host not found"},
    ErrorEntry{kWsaTryAgain, 0, "WSATRY_AGAIN", "Nonauthoritative host not found"},
    ErrorEntry{kWsaNoRecovery, 0, "WSANO_RECOVERY", "This is a nonrecoverable error"},
    ErrorEntry{kWsaNoData, 0, "WSANO_DATA", "Valid name, no data record of requested type"},
};

const ErrorEntry* findCode(int code) {
  for (const ErrorEntry& entry : kErrors) {
    if (entry.code == code && !entry.name.empty()) {
      return &entry;
    }
  }
  return nullptr;
}

}  // namespace

int winsockErrorFromErrno(int errnoValue) {
  if (errnoValue == 0) {
    return 0;
  }
  for (const ErrorEntry& entry : kErrors) {
    if (entry.errnoValue == errnoValue) {
      return entry.code;
    }
  }
  return kWsaEInval;
}

int winsockErrorFromLookup(int gaiError, int errnoValue) {
  switch (gaiError) {
    case 0:
      return 0;
    case EAI_NONAME:
      return kWsaHostNotFound;
    case EAI_AGAIN:
      return kWsaTryAgain;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return kWsaNoData;
    case EAI_MEMORY:
      return kWsaENoBufs;
    case EAI_SYSTEM:
      return errnoValue != 0 ? winsockErrorFromErrno(errnoValue) : kWsaNoRecovery;
    default:
      return kWsaNoRecovery;
  }
}

std::string_view winsockErrorName(int code) {
  const ErrorEntry* entry = findCode(code);
  return entry != nullptr ? entry->name : std::string_view{};
}

std::string_view winsockErrorDescription(int code) {
  const ErrorEntry* entry = findCode(code);
  return entry != nullptr ? entry->description : std::string_view{};
}

}  // namespace tidewell
