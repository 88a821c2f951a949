#pragma once

#include <cstdint>
#include <unordered_map>

#include "platform/message_loop.h"
#include "platform/winsock_types.h"

namespace tidewell {

// Winsock's asynchronous select over epoll. The six events are announced as
// messages to a loop target with Winsock's rules rather than raw level
// triggering:
//  - read is announced once, and again only after the next receive, when
//    data remains or arrives; an end of stream alone is not a read;
//  - write is announced when a connection completes (and when a request is
//    made on a connected socket), and again only after a send that would
//    block or was short, once there is room;
//  - out-of-band and accept are announced once and re-armed by the receive
//    of urgent data and by accept;
//  - connect carries the connection's error (0, 10061 refused, 10060 timed
//    out, 10065 unreachable ...), close carries 0 for an orderly close and
//    the error for a reset (10054), each announced once.
// While an announcement is outstanding its epoll interest is dropped, so the
// loop sleeps while data waits unread. A socket whose connection is gone is
// taken out of epoll once nothing is left to announce.
//
// Announcements are queued through a relay target of this object and
// checked when they are delivered: events of a socket closed since, or no
// longer asked for, are dropped.
class AsyncSelect {
 public:
  explicit AsyncSelect(MessageLoop& loop);
  ~AsyncSelect();
  AsyncSelect(const AsyncSelect&) = delete;
  AsyncSelect& operator=(const AsyncSelect&) = delete;
  AsyncSelect(AsyncSelect&&) = delete;
  AsyncSelect& operator=(AsyncSelect&&) = delete;

  // Replaces the socket's request; events 0 stops its events. Every event
  // is armed again. Returns 0 or a Winsock code.
  [[nodiscard]] int select(SocketHandle s, TargetHandle target, std::uint32_t message, long events);

  // What the socket calls tell the selection.
  void connecting(SocketHandle s);  // connect() under way (or done at once)
  void listening(SocketHandle s);
  // Re-arms accept; a new socket (not kInvalidSocket) takes over the request.
  void accepted(SocketHandle listener, SocketHandle accepted);
  void received(SocketHandle s, bool outOfBand);
  void sendBlocked(SocketHandle s);
  void shutDown(SocketHandle s, int how);
  void connectionFailed(SocketHandle s, int winsockError);
  void closed(SocketHandle s);
  void stopAll();

  // The epoll events watched for the socket now (0: not watched).
  [[nodiscard]] std::uint32_t watchedEvents(SocketHandle s) const;

 private:
  enum class Phase { Idle, Connecting, Connected, Listening, Datagram, Failed };
  struct Entry {
    std::uint32_t serial = 0;  // tells this socket's queued events from a later one's
    TargetHandle target = kNoTarget;
    std::uint32_t message = 0;
    long mask = 0;
    Phase phase = Phase::Idle;
    bool readArmed = true;
    bool writeArmed = true;
    bool oobArmed = true;
    bool acceptArmed = true;
    bool closeReported = false;
    bool endOfStream = false;
    bool quiet = false;  // a hang-up with nothing to announce: out of epoll until re-armed
    int connectionError = 0;
    std::uint32_t watched = 0;
  };

  Entry& entryFor(SocketHandle s);
  Entry* find(SocketHandle s);
  [[nodiscard]] std::uint32_t interestOf(SocketHandle s, const Entry& entry) const;
  void refresh(SocketHandle s);
  void onReady(SocketHandle s, std::uint32_t events);
  bool onConnecting(SocketHandle s, Entry& entry, std::uint32_t events);
  bool onConnected(SocketHandle s, Entry& entry, std::uint32_t events);
  void announce(SocketHandle s, const Entry& entry, long event, int error);
  void relay(const Message& message);

  MessageLoop& loop_;
  TargetHandle relay_ = kNoTarget;
  std::uint32_t nextSerial_ = 1;
  std::unordered_map<SocketHandle, Entry> entries_;
};

}  // namespace tidewell
