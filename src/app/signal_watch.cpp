#include "app/signal_watch.h"

#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include "platform/message_loop.h"

namespace tidewell {

SignalWatch::SignalWatch(MessageLoop& loop) : loop_(loop) {
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, SIGINT);
  sigaddset(&mask, SIGTERM);
  sigaddset(&mask, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &mask, &previous_);
  fd_ = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ >= 0) {
    loop_.watch(fd_, EPOLLIN, [this](std::uint32_t /*events*/) { readSignals(); });
  }
}

SignalWatch::~SignalWatch() {
  if (fd_ >= 0) {
    loop_.unwatch(fd_);
    close(fd_);
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void SignalWatch::readSignals() {
  signalfd_siginfo info{};
  while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    if (handler_) {
      handler_(static_cast<int>(info.ssi_signo));
    }
  }
}

}  // namespace tidewell
