#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/message_loop.h"
#include "platform/winsock_types.h"

namespace tidewell {

// The asynchronous look-ups of the socket service. Each request runs its
// look-up on a worker thread of its own; the worker touches nothing but the
// request's own copy of the query and its result, and hands the result to
// the loop thread with MessageLoop::postTask. On the loop thread the record
// is written into the request's buffer and the reply sent to its target, in
// one step, only when the request is still pending (not cancelled, not
// abandoned by the destruction of this object) and the target still exists.
//
// Workers are detached: they share with this object only a small block
// (a mutex and the loop pointer, cleared by the destructor), so neither
// this object nor the loop has to wait for a slow name server, and a worker
// that finishes late finds nobody to hand its result to and simply ends.
class AsyncLookups {
 public:
  struct Query {
    enum class Kind { HostByName, HostByAddress, ServiceByName, ServiceByPort, HostAddresses };
    Kind kind = Kind::HostByName;
    std::string name;
    std::array<std::uint8_t, 4> address{};
    std::uint16_t port = 0;  // network byte order
    std::optional<std::string> protocol;
    int family = 0;  // HostAddresses: kAfUnspec, kAfInet or kAfInet6
  };

  explicit AsyncLookups(MessageLoop& loop);
  // Abandons every pending request: no write, no reply.
  ~AsyncLookups();
  AsyncLookups(const AsyncLookups&) = delete;
  AsyncLookups& operator=(const AsyncLookups&) = delete;
  AsyncLookups(AsyncLookups&&) = delete;
  AsyncLookups& operator=(AsyncLookups&&) = delete;

  // The request's handle, or 0 with a Winsock code in `error`: WSAEINVAL for
  // a target that does not exist, WSAEFAULT for a buffer that cannot hold a
  // record, WSAENOBUFS when no worker can be started.
  [[nodiscard]] AsyncHandle start(Query query, TargetHandle target, std::uint32_t message, char* buffer, int length,
                                  int& error);
  // 0, or WSAEALREADY for a request already answered (or cancelled), WSAEINVAL
  // for a handle never given out.
  [[nodiscard]] int cancel(AsyncHandle request);
  void cancelAll();
  [[nodiscard]] bool isPending(AsyncHandle request) const;
  [[nodiscard]] std::size_t inFlight() const;

  // Waits until no worker of the process runs, at most `limit`.
  static bool waitForWorkers(std::chrono::milliseconds limit);

  // At most this many requests may have a worker running.
  static constexpr std::size_t kMaxInFlight = 64;

 private:
  struct Request;
  struct Shared;
  static void work(const std::shared_ptr<Shared>& shared, const std::shared_ptr<Request>& request);
  static void deliver(Shared& shared, Request& request);

  std::shared_ptr<Shared> shared_;
};

}  // namespace tidewell
