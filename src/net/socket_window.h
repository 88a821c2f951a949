#pragma once

#include <cstdint>

#include "platform/message_loop.h"

namespace tidewell {

class Socket;

// The hidden notification window of a socket: a message-loop target that
// the socket service announces the socket's events to (message 1325). Each
// event goes either on to the notify target, when one is set and the
// forward mask has the event's bit, by an immediate send; or to the owning
// socket's event operation (OnRead ... OnClose). Exists exactly as long as
// its socket.
class SocketWindow {
 public:
  SocketWindow(Socket& owner, MessageLoop& loop);
  ~SocketWindow();
  SocketWindow(const SocketWindow&) = delete;
  SocketWindow& operator=(const SocketWindow&) = delete;
  SocketWindow(SocketWindow&&) = delete;
  SocketWindow& operator=(SocketWindow&&) = delete;

  // Asks the socket service for `mask`'s events of the owner's handle, to
  // this window. -1 on failure, with the code in lastError(); the previous
  // request then stays in force.
  int SelectEvents(int mask);
  int SelectAccept();     // 8
  int SelectConnected();  // 55: all but accept
  int SelectNone();       // 0

  void SetForwardMask(int mask) { forwardMask_ = mask; }
  void SetNotifyWindow(TargetHandle window) { notifyWindow_ = window; }

  // Handling of one socket event. A wParam that is not the owner's handle is
  // not handled (0). An event forwarded gives 1 when the notify target took
  // it, 0 when it no longer exists; an event handled by the owner gives 1;
  // an unknown event value gives 1 with nothing called.
  int HandleSocketEvent(std::uintptr_t wParam, std::intptr_t lParam);

  [[nodiscard]] TargetHandle target() const { return target_; }
  [[nodiscard]] Socket& owner() const { return owner_; }
  [[nodiscard]] int selectMask() const { return selectMask_; }
  [[nodiscard]] TargetHandle notifyWindow() const { return notifyWindow_; }
  [[nodiscard]] int forwardMask() const { return forwardMask_; }
  [[nodiscard]] int lastError() const { return lastError_; }

 private:
  Socket& owner_;
  MessageLoop& loop_;
  int selectMask_ = 0;
  TargetHandle notifyWindow_ = kNoTarget;
  int forwardMask_ = 63;
  int lastError_ = 0;
  TargetHandle target_ = kNoTarget;
};

}  // namespace tidewell
