#pragma once

// Real peers on loopback for the socket tests: a plain Berkeley listener and
// connections the tests drive by hand, and a recorder target that keeps
// every message the loop delivers to it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_loop.h"
#include "platform/winsock_types.h"

namespace tidewell::test {

struct Recorded {
  std::uint32_t id;
  std::uintptr_t wParam;
  int event;  // low 16 bits of lParam
  int error;  // high 16 bits of lParam
};

// A message target that records what it is given.
class Recorder {
 public:
  explicit Recorder(MessageLoop& loop) : loop_(loop) {
    target_ = loop_.createTarget([this](const Message& m) {
      seen.push_back(Recorded{m.id, m.wParam, selectEventOf(m.lParam), selectErrorOf(m.lParam)});
    });
  }
  ~Recorder() { loop_.destroyTarget(target_); }
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  [[nodiscard]] TargetHandle target() const { return target_; }
  [[nodiscard]] int count(int event) const {
    int n = 0;
    for (const Recorded& r : seen) {
      n += r.event == event ? 1 : 0;
    }
    return n;
  }
  [[nodiscard]] const Recorded* last(int event) const {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
      if (it->event == event) {
        return &*it;
      }
    }
    return nullptr;
  }

  std::vector<Recorded> seen;

 private:
  MessageLoop& loop_;
  TargetHandle target_ = kNoTarget;
};

inline sockaddr_in loopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A blocking listener on 127.0.0.1 with a port of the system's choice.
class LoopbackListener {
 public:
  LoopbackListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopbackAddress(0);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 8);
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~LoopbackListener() { ::close(fd_); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  [[nodiscard]] std::uint16_t port() const { return port_; }
  [[nodiscard]] sockaddr_in address() const { return loopbackAddress(port_); }
  // Waits (at most 5 s) for a connection and accepts it; -1 when none came.
  [[nodiscard]] int accept() const {
    pollfd ready{fd_, POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) {
      return -1;
    }
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// A loopback port nobody listens on: bound once, then released.
inline std::uint16_t refusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = loopbackAddress(0);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

inline bool writeAll(int fd, const std::string& text) {
  return ::send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

// Closes so that the peer sees a reset rather than an orderly end.
inline void closeWithReset(int fd) {
  const linger abortive{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  ::close(fd);
}

inline void shrinkBuffers(int fd) {
  const int small = 4096;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
}

}  // namespace tidewell::test
