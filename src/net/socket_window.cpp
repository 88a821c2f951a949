#include "net/socket_window.h"

#include "net/socket.h"
#include "net/socket_manager.h"
#include "net/socket_messages.h"

namespace tidewell {

SocketWindow::SocketWindow(Socket& owner, MessageLoop& loop) : owner_(owner), loop_(loop) {
  target_ = loop_.createTarget([this](const Message& message) {
    if (message.id == kSocketEventMessage) {
      HandleSocketEvent(message.wParam, message.lParam);
    }
  });
}

SocketWindow::~SocketWindow() {
  loop_.destroyTarget(target_);
}

int SocketWindow::SelectEvents(int mask) {
  selectMask_ = mask;
  Winsock& winsock = owner_.manager().winsock();
  if (winsock.asyncSelect(owner_.handle(), target_, kSocketEventMessage, mask) != 0) {
    lastError_ = winsock.lastError();
    return -1;
  }
  return 0;
}

int SocketWindow::SelectAccept() {
  return SelectEvents(kSelectAcceptMask);
}

int SocketWindow::SelectConnected() {
  return SelectEvents(kSelectConnectedMask);
}

int SocketWindow::SelectNone() {
  return SelectEvents(0);
}

int SocketWindow::HandleSocketEvent(std::uintptr_t wParam, std::intptr_t lParam) {
  const SocketHandle handle = owner_.handle();
  if (handle == kInvalidSocket || wParam != static_cast<std::uintptr_t>(handle)) {
    return 0;
  }
  const int event = selectEventOf(lParam);
  const int error = selectErrorOf(lParam);
  switch (event) {
    case kFdRead:
    case kFdWrite:
    case kFdOob:
    case kFdAccept:
    case kFdConnect:
    case kFdClose:
      break;
    default:
      return 1;
  }
  if (notifyWindow_ != kNoTarget && (forwardMask_ & event) != 0) {
    // The receiver may destroy this socket: nothing of it is touched after.
    return loop_.send(notifyWindow_, kSocketEventMessage, wParam, lParam) ? 1 : 0;
  }
  switch (event) {
    case kFdRead:
      owner_.OnRead(handle, error);
      break;
    case kFdWrite:
      owner_.OnWrite(handle, error);
      break;
    case kFdOob:
      owner_.OnOutOfBand(handle, error);
      break;
    case kFdAccept:
      owner_.OnAccept(handle, error);
      break;
    case kFdConnect:
      owner_.OnConnect(handle, error);
      break;
    default:
      owner_.OnClose(handle, error);
      break;
  }
  return 1;
}

}  // namespace tidewell
