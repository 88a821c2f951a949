#pragma once

#include <signal.h>

#include <functional>

namespace tidewell {

class MessageLoop;

// Turns SIGINT, SIGTERM and SIGHUP into a call on the message loop's thread,
// so that Ctrl-C or a termination request ends the program the orderly way
// (position saved, spool files deleted) instead of killing it. Make it before
// any thread is started (Qt's included): threads inherit the blocked mask, so
// the signals reach only the signalfd. The previous mask is restored at the end.
class SignalWatch {
 public:
  explicit SignalWatch(MessageLoop& loop);
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;
  SignalWatch(SignalWatch&&) = delete;
  SignalWatch& operator=(SignalWatch&&) = delete;

  // Called with the signal's number; set it before the loop runs.
  void onSignal(std::function<void(int)> handler) { handler_ = std::move(handler); }

 private:
  void readSignals();

  MessageLoop& loop_;
  sigset_t previous_{};
  int fd_ = -1;
  std::function<void(int)> handler_;
};

}  // namespace tidewell
