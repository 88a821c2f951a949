#include "app/loop_notifier.h"

#include "platform/message_loop.h"

namespace tidewell {

LoopNotifier::LoopNotifier(MessageLoop& loop)
    : loop_(loop), notifier_(static_cast<qintptr>(loop.fd()), QSocketNotifier::Read) {
  connect(&notifier_, &QSocketNotifier::activated, this, [this] { loop_.dispatchReady(); });
}

}  // namespace tidewell
