#include "platform/async_select.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>

#include "platform/winsock_errors.h"

namespace tidewell {

namespace {

constexpr std::uint32_t kHangUp = EPOLLHUP | EPOLLERR;

int intOption(SocketHandle s, int option) {
  int value = 0;
  socklen_t length = sizeof value;
  if (getsockopt(s, SOL_SOCKET, option, &value, &length) != 0) {
    return -1;
  }
  return value;
}

// Reading SO_ERROR also clears it.
int takeSocketError(SocketHandle s) {
  return winsockErrorFromErrno(std::max(intOption(s, SO_ERROR), 0));
}

int bytesWaiting(SocketHandle s) {
  int count = 0;
  return ioctl(s, FIONREAD, &count) == 0 ? count : 0;
}

bool hasPeer(SocketHandle s) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  return getpeername(s, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

}  // namespace

AsyncSelect::AsyncSelect(MessageLoop& loop) : loop_(loop) {
  relay_ = loop_.createTarget([this](const Message& message) { relay(message); });
}

AsyncSelect::~AsyncSelect() {
  stopAll();
  loop_.destroyTarget(relay_);
}

int AsyncSelect::select(SocketHandle s, TargetHandle target, std::uint32_t message, long events) {
  if (intOption(s, SO_TYPE) < 0) {
    return kWsaENotSock;
  }
  if ((events & ~kFdAllEvents) != 0 || (events != 0 && !loop_.isTarget(target))) {
    return kWsaEInval;
  }
  Entry& entry = entryFor(s);
  entry.target = target;
  entry.message = message;
  entry.mask = events;
  entry.readArmed = entry.writeArmed = entry.oobArmed = entry.acceptArmed = true;
  entry.quiet = false;
  refresh(s);
  return 0;
}

AsyncSelect::Entry& AsyncSelect::entryFor(SocketHandle s) {
  const auto it = entries_.find(s);
  if (it != entries_.end()) {
    return it->second;
  }
  Entry entry;
  entry.serial = nextSerial_++;
  if (intOption(s, SO_TYPE) != SOCK_STREAM) {
    entry.phase = Phase::Datagram;
  } else if (intOption(s, SO_ACCEPTCONN) == 1) {
    entry.phase = Phase::Listening;
  } else if (hasPeer(s)) {
    entry.phase = Phase::Connected;
  }
  return entries_.emplace(s, entry).first->second;
}

AsyncSelect::Entry* AsyncSelect::find(SocketHandle s) {
  const auto it = entries_.find(s);
  return it == entries_.end() ? nullptr : &it->second;
}

void AsyncSelect::connecting(SocketHandle s) {
  Entry& entry = entryFor(s);
  entry.phase = Phase::Connecting;
  entry.closeReported = entry.endOfStream = entry.quiet = false;
  entry.connectionError = 0;
  refresh(s);
}

void AsyncSelect::listening(SocketHandle s) {
  Entry& entry = entryFor(s);
  entry.phase = Phase::Listening;
  entry.acceptArmed = true;
  refresh(s);
}

void AsyncSelect::accepted(SocketHandle listener, SocketHandle accepted) {
  Entry* from = find(listener);
  if (from == nullptr) {
    return;
  }
  from->acceptArmed = true;
  const Entry inherited = *from;
  refresh(listener);
  if (accepted == kInvalidSocket) {
    return;
  }
  // The new socket takes over the listening socket's request.
  Entry entry;
  entry.serial = nextSerial_++;
  entry.target = inherited.target;
  entry.message = inherited.message;
  entry.mask = inherited.mask;
  entry.phase = Phase::Connected;
  entries_[accepted] = entry;
  refresh(accepted);
}

void AsyncSelect::received(SocketHandle s, bool outOfBand) {
  if (Entry* entry = find(s)) {
    (outOfBand ? entry->oobArmed : entry->readArmed) = true;
    entry->quiet = false;
    refresh(s);
  }
}

void AsyncSelect::sendBlocked(SocketHandle s) {
  if (Entry* entry = find(s)) {
    entry->writeArmed = true;
    entry->quiet = false;
    refresh(s);
  }
}

void AsyncSelect::shutDown(SocketHandle s, int how) {
  Entry* entry = find(s);
  if (entry == nullptr || how == kShutdownSend) {
    return;
  }
  // Our own end of the stream is not the peer's close.
  entry->endOfStream = true;
  entry->closeReported = true;
  refresh(s);
}

void AsyncSelect::connectionFailed(SocketHandle s, int winsockError) {
  if (Entry* entry = find(s)) {
    entry->connectionError = winsockError;
  }
}

void AsyncSelect::closed(SocketHandle s) {
  const auto it = entries_.find(s);
  if (it == entries_.end()) {
    return;
  }
  if (it->second.watched != 0) {
    loop_.unwatch(s);
  }
  entries_.erase(it);
}

void AsyncSelect::stopAll() {
  for (const auto& [s, entry] : entries_) {
    if (entry.watched != 0) {
      loop_.unwatch(s);
    }
  }
  entries_.clear();
}

std::uint32_t AsyncSelect::watchedEvents(SocketHandle s) const {
  const auto it = entries_.find(s);
  return it == entries_.end() ? 0 : it->second.watched;
}

std::uint32_t AsyncSelect::interestOf(SocketHandle s, const Entry& entry) const {
  if (entry.mask == 0 || entry.quiet) {
    return 0;
  }
  const long mask = entry.mask;
  std::uint32_t events = 0;
  switch (entry.phase) {
    case Phase::Idle:
    case Phase::Failed:
      return 0;
    case Phase::Connecting:
      return EPOLLOUT;  // the outcome arrives as writability or an error
    case Phase::Listening:
      return (mask & kFdAccept) != 0 && entry.acceptArmed ? std::uint32_t{EPOLLIN} : 0u;
    case Phase::Datagram:
      if ((mask & kFdRead) != 0 && entry.readArmed) {
        events |= EPOLLIN;
      }
      if ((mask & kFdWrite) != 0 && entry.writeArmed) {
        events |= EPOLLOUT;
      }
      return events;
    case Phase::Connected:
      // After the end of the stream only data still waiting is worth a read.
      if ((mask & kFdRead) != 0 && entry.readArmed && (!entry.endOfStream || bytesWaiting(s) > 0)) {
        events |= EPOLLIN;
      }
      if ((mask & kFdOob) != 0 && entry.oobArmed && !entry.endOfStream) {
        events |= EPOLLPRI;
      }
      if ((mask & kFdWrite) != 0 && entry.writeArmed) {
        events |= EPOLLOUT;
      }
      if ((mask & kFdClose) != 0 && !entry.closeReported) {
        events |= EPOLLRDHUP;
      }
      return events;
  }
  return events;
}

void AsyncSelect::refresh(SocketHandle s) {
  Entry* entry = find(s);
  if (entry == nullptr) {
    return;
  }
  const std::uint32_t wanted = interestOf(s, *entry);
  if (wanted == entry->watched) {
    return;
  }
  if (wanted == 0) {
    loop_.unwatch(s);
  } else if (entry->watched == 0) {
    if (!loop_.watch(s, wanted, [this, s](std::uint32_t events) { onReady(s, events); })) {
      return;
    }
  } else if (!loop_.rewatch(s, wanted)) {
    return;
  }
  entry->watched = wanted;
}

void AsyncSelect::onReady(SocketHandle s, std::uint32_t events) {
  Entry* entry = find(s);
  if (entry == nullptr) {
    return;
  }
  bool progressed = false;
  switch (entry->phase) {
    case Phase::Connecting:
      progressed = onConnecting(s, *entry, events);
      break;
    case Phase::Connected:
      progressed = onConnected(s, *entry, events);
      break;
    case Phase::Listening:
      if ((events & EPOLLIN) != 0 && entry->acceptArmed && (entry->mask & kFdAccept) != 0) {
        entry->acceptArmed = false;
        announce(s, *entry, kFdAccept, 0);
        progressed = true;
      }
      break;
    case Phase::Datagram:
      if ((events & EPOLLERR) != 0) {
        entry->connectionError = takeSocketError(s);  // an ICMP error; clearing it ends the report
        progressed = true;
      }
      if ((events & EPOLLIN) != 0 && entry->readArmed && (entry->mask & kFdRead) != 0) {
        entry->readArmed = false;
        announce(s, *entry, kFdRead, 0);
        progressed = true;
      }
      if ((events & EPOLLOUT) != 0 && entry->writeArmed && (entry->mask & kFdWrite) != 0) {
        entry->writeArmed = false;
        announce(s, *entry, kFdWrite, 0);
        progressed = true;
      }
      break;
    case Phase::Idle:
    case Phase::Failed:
      break;
  }
  if (!progressed && (events & kHangUp) != 0) {
    entry->quiet = true;
  }
  refresh(s);
}

bool AsyncSelect::onConnecting(SocketHandle s, Entry& entry, std::uint32_t events) {
  const int error = takeSocketError(s);
  if (error == 0 && (events & (EPOLLOUT | kHangUp)) == 0) {
    return false;
  }
  if (error == 0 && hasPeer(s)) {
    entry.phase = Phase::Connected;
    if ((entry.mask & kFdConnect) != 0) {
      announce(s, entry, kFdConnect, 0);
    }
    // A completed connection is writable: that is its first write event.
    if ((entry.mask & kFdWrite) != 0) {
      entry.writeArmed = false;
      announce(s, entry, kFdWrite, 0);
    }
    return true;
  }
  entry.phase = Phase::Failed;
  if ((entry.mask & kFdConnect) != 0) {
    announce(s, entry, kFdConnect, error != 0 ? error : kWsaEConnRefused);
  }
  return true;
}

bool AsyncSelect::onConnected(SocketHandle s, Entry& entry, std::uint32_t events) {
  bool progressed = false;
  const bool peerClosed = (events & (EPOLLRDHUP | kHangUp)) != 0;
  if ((events & EPOLLERR) != 0) {
    const int error = takeSocketError(s);
    if (error != 0) {
      entry.connectionError = error;
    }
  }
  if ((events & EPOLLIN) != 0 && entry.readArmed && (entry.mask & kFdRead) != 0 && bytesWaiting(s) > 0) {
    entry.readArmed = false;
    announce(s, entry, kFdRead, 0);
    progressed = true;
  }
  if ((events & EPOLLPRI) != 0 && entry.oobArmed && (entry.mask & kFdOob) != 0) {
    entry.oobArmed = false;
    announce(s, entry, kFdOob, 0);
    progressed = true;
  }
  if ((events & EPOLLOUT) != 0 && entry.writeArmed && (entry.mask & kFdWrite) != 0) {
    entry.writeArmed = false;
    announce(s, entry, kFdWrite, 0);
    progressed = true;
  }
  if (peerClosed) {
    if (!entry.endOfStream) {
      entry.endOfStream = true;
      progressed = true;
    }
    if (!entry.closeReported && (entry.mask & kFdClose) != 0) {
      entry.closeReported = true;
      announce(s, entry, kFdClose, entry.connectionError);
      progressed = true;
    }
  }
  return progressed;
}

void AsyncSelect::announce(SocketHandle s, const Entry& entry, long event, int error) {
  loop_.post(relay_, entry.serial, static_cast<std::uintptr_t>(s), makeSelectReply(event, error));
}

void AsyncSelect::relay(const Message& message) {
  const auto s = static_cast<SocketHandle>(message.wParam);
  const Entry* entry = find(s);
  if (entry == nullptr || entry->serial != message.id) {
    return;  // the socket was closed since
  }
  if ((entry->mask & selectEventOf(message.lParam)) == 0) {
    return;  // no longer asked for
  }
  loop_.send(entry->target, entry->message, message.wParam, message.lParam);
}

}  // namespace tidewell
