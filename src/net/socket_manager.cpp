#include "net/socket_manager.h"

namespace tidewell {

SocketManager::SocketManager(MessageLoop& loop, std::uint16_t major, std::uint16_t minor, int startNow)
    : winsock_(loop), majorVersion_(major), minorVersion_(minor) {
  if (startNow != 0) {
    Start();
  }
}

SocketManager::~SocketManager() {
  while (startupCount_ > 0) {
    if (Cleanup() != 0) {
      break;  // the count cannot come down: give up rather than loop
    }
  }
}

int SocketManager::Start() {
  const auto version = static_cast<std::uint16_t>(minorVersion_ * 256 + majorVersion_);
  lastError_ = winsock_.startup(version, startupInfo_);
  if (lastError_ != 0) {
    return -1;
  }
  ++startupCount_;
  majorVersion_ = startupInfo_.version & 0xFF;
  minorVersion_ = startupInfo_.version >> 8;
  return 0;
}

int SocketManager::Cleanup() {
  if (winsock_.cleanup() != 0) {
    lastError_ = winsock_.lastError();
    return -1;
  }
  --startupCount_;
  return 0;
}

}  // namespace tidewell
