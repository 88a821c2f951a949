#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/message_loop.h"
#include "platform/winsock_types.h"

namespace tidewell {

class SocketManager;
class Winsock;

// The request bookkeeping that the host and the service look-up managers
// share: the manager's own reply target (a hidden window taking
// `replyMessage`), its result buffer, its last request, the finished flag
// and lastError, and the requests that may still write into the buffer.
// Going away, it cancels the last request if still unanswered and every
// pending request into its buffer, so the buffer is never written once it
// is gone; a request into a caller's buffer is the caller's to cancel.
class LookupRequests {
 public:
  // `onReply` gets the error of each reply at the own target (0: none).
  LookupRequests(SocketManager& manager, std::uint32_t replyMessage, std::function<void(int error)> onReply);
  ~LookupRequests();
  LookupRequests(const LookupRequests&) = delete;
  LookupRequests& operator=(const LookupRequests&) = delete;
  LookupRequests(LookupRequests&&) = delete;
  LookupRequests& operator=(LookupRequests&&) = delete;

  [[nodiscard]] Winsock& winsock() const { return winsock_; }
  [[nodiscard]] TargetHandle target() const { return target_; }
  [[nodiscard]] std::uint32_t replyMessage() const { return replyMessage_; }
  // The own result buffer, kMaxGetHostStruct bytes, pointer-aligned.
  [[nodiscard]] char* buffer() { return buffer_; }
  [[nodiscard]] const char* buffer() const { return buffer_; }
  // The caller's buffer, or the own one when it is null.
  [[nodiscard]] char* bufferFor(char* callerBuffer) { return callerBuffer != nullptr ? callerBuffer : buffer_; }

  // Records a request just started into `into` (kNoRequest: it could not
  // start; -1 with the service's error in lastError). The handle goes to
  // `request`, and with `remember` it becomes the last request. The
  // manager is unfinished until the next reply at its target.
  int started(AsyncHandle handle, AsyncHandle& request, bool remember, const char* into);
  // kNoRequest stands for the last request.
  [[nodiscard]] AsyncHandle resolve(AsyncHandle request) const { return request == kNoRequest ? request_ : request; }
  // Cancels `request` as resolved: none gives -1 with 10022; a request
  // already answered is refused (-1, 10037).
  int cancel(AsyncHandle request);
  // A reply at the own target: a non-zero error goes to lastError;
  // finished becomes true.
  void replied(int error);
  // -1 with the service's last error, for a blocking look-up that failed.
  int failed();
  void setLastError(std::int32_t error) { lastError_ = error; }

  [[nodiscard]] bool finished() const { return finished_; }
  [[nodiscard]] AsyncHandle request() const { return request_; }
  [[nodiscard]] std::int32_t lastError() const { return lastError_; }

 private:
  Winsock& winsock_;
  MessageLoop& loop_;
  std::uint32_t replyMessage_;
  bool finished_ = false;
  AsyncHandle request_ = kNoRequest;
  std::int32_t lastError_ = 0;
  std::vector<AsyncHandle> intoOwnBuffer_;  // requests that may still write buffer_
  alignas(HostEntry) alignas(ServiceEntry) char buffer_[kMaxGetHostStruct] = {};
  TargetHandle target_ = kNoTarget;
};

}  // namespace tidewell
