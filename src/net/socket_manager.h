#pragma once

#include <cstdint>

#include "platform/message_loop.h"
#include "platform/winsock.h"

namespace tidewell {

// Starts the socket service once for the whole program, keeps what the
// service reports about itself (its description for the report line
// "Winsock Detected is ...") and stops it at the end. Owns the service:
// every socket and look-up manager is built on a SocketManager and must be
// destroyed before it. The message loop must outlive it.
class SocketManager {
 public:
  // Stores the version asked for; starts at once when startNow is not 0.
  SocketManager(MessageLoop& loop, std::uint16_t major, std::uint16_t minor, int startNow);
  // One Cleanup for each start-up still counted; gives up at the first
  // failure.
  virtual ~SocketManager();
  SocketManager(const SocketManager&) = delete;
  SocketManager& operator=(const SocketManager&) = delete;
  SocketManager(SocketManager&&) = delete;
  SocketManager& operator=(SocketManager&&) = delete;

  // Start-up with the version word minor * 256 + major. Non-zero result
  // from the service: -1, the code in lastError. Otherwise startupCount + 1
  // and the negotiated version stored: 0.
  int Start();
  // Failure: -1 with the code in lastError; success: startupCount - 1, 0.
  int Cleanup();
  // The service's description text.
  [[nodiscard]] const char* Description() const { return startupInfo_.description; }

  [[nodiscard]] std::int32_t lastError() const { return lastError_; }
  [[nodiscard]] std::uint16_t startupCount() const { return startupCount_; }
  [[nodiscard]] const WsaData& startupInfo() const { return startupInfo_; }
  [[nodiscard]] std::uint16_t majorVersion() const { return majorVersion_; }
  [[nodiscard]] std::uint16_t minorVersion() const { return minorVersion_; }

  [[nodiscard]] Winsock& winsock() { return winsock_; }
  [[nodiscard]] MessageLoop& loop() const { return winsock_.loop(); }

 private:
  Winsock winsock_;
  std::int32_t lastError_ = 0;
  std::uint16_t startupCount_ = 0;
  WsaData startupInfo_;
  std::uint16_t majorVersion_;
  std::uint16_t minorVersion_;
};

}  // namespace tidewell
