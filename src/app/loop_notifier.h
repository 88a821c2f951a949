#pragma once

#include <QObject>
#include <QSocketNotifier>

namespace tidewell {

class MessageLoop;

// Makes Qt's event loop and the program's message loop one loop on one
// thread: Qt watches the message loop's descriptor and hands over whenever it
// is readable. The message loop re-signals its descriptor while messages stay
// queued, so work left after one dispatch wakes the notifier again. Modal
// message boxes run Qt's loop too, so the engine keeps running under them.
class LoopNotifier final : public QObject {
  Q_OBJECT

 public:
  explicit LoopNotifier(MessageLoop& loop);

 private:
  MessageLoop& loop_;
  QSocketNotifier notifier_;
};

}  // namespace tidewell
