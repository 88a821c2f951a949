#include "net/lookup_requests.h"

#include <algorithm>

#include "net/socket_manager.h"
#include "platform/winsock.h"

namespace tidewell {

LookupRequests::LookupRequests(SocketManager& manager, std::uint32_t replyMessage,
                               std::function<void(int error)> onReply)
    : winsock_(manager.winsock()), loop_(manager.loop()), replyMessage_(replyMessage) {
  target_ = loop_.createTarget([this, onReply = std::move(onReply)](const Message& message) {
    if (message.id == replyMessage_) {
      onReply(selectErrorOf(message.lParam));
    }
  });
}

LookupRequests::~LookupRequests() {
  if (request_ != kNoRequest && !finished_) {
    cancel(request_);
  }
  // Requests started before the last one may still be running; none of them
  // may write into this buffer once it is gone.
  for (const AsyncHandle pending : intoOwnBuffer_) {
    if (winsock_.isPending(pending)) {
      winsock_.cancelAsyncRequest(pending);
    }
  }
  loop_.destroyTarget(target_);
}

int LookupRequests::started(AsyncHandle handle, AsyncHandle& request, bool remember, const char* into) {
  finished_ = false;
  request = handle;
  if (remember) {
    request_ = handle;
  }
  if (handle == kNoRequest) {
    return failed();
  }
  if (into == buffer_) {
    std::erase_if(intoOwnBuffer_, [this](AsyncHandle pending) { return !winsock_.isPending(pending); });
    intoOwnBuffer_.push_back(handle);
  }
  return 0;
}

int LookupRequests::cancel(AsyncHandle request) {
  request = resolve(request);
  if (request == kNoRequest) {
    lastError_ = kWsaEInval;
    return -1;
  }
  if (winsock_.cancelAsyncRequest(request) != 0) {
    return failed();
  }
  return 0;
}

void LookupRequests::replied(int error) {
  if (error != 0) {
    lastError_ = error;
  }
  finished_ = true;
}

int LookupRequests::failed() {
  lastError_ = winsock_.lastError();
  return -1;
}

}  // namespace tidewell
