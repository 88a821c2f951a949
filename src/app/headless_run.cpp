#include "app/headless_run.h"

#include <signal.h>
#include <sys/epoll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/app_context.h"
#include "net/socket_manager.h"
#include "posting/posting_session.h"
#include "posting/terminal_display.h"

namespace tidewell {

namespace {

// Ctrl-C or a termination request stops the run the way the Stop button
// does (the report says so) and then ends the program. The signals arrive
// through a signalfd watched by the loop, so the stop runs on the loop's
// thread like every other event.
class StopSignals {
 public:
  StopSignals(MessageLoop& loop, PostingSession& session) : loop_(loop) {
    sigemptyset(&mask_);
    sigaddset(&mask_, SIGINT);
    sigaddset(&mask_, SIGTERM);
    sigaddset(&mask_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &mask_, &previous_);
    fd_ = signalfd(-1, &mask_, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ >= 0) {
      loop_.watch(fd_, EPOLLIN, [this, &session](std::uint32_t) {
        signalfd_siginfo info{};
        while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
          std::fprintf(stderr, "Tidewell: stopping on signal %u.\n", info.ssi_signo);
        }
        if (!session.isIdle()) {
          session.StopOrQuit();
        }
        loop_.quit();
      });
    }
  }
  ~StopSignals() {
    if (fd_ >= 0) {
      loop_.unwatch(fd_);
      close(fd_);
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  MessageLoop& loop_;
  sigset_t mask_{};
  sigset_t previous_{};
  int fd_ = -1;
};

int exitStatusOf(RunOutcome outcome) {
  switch (outcome) {
    case RunOutcome::Finished:
      return kHeadlessFinished;
    case RunOutcome::FinishedWithFailures:
      return kHeadlessFinishedWithFailures;
    case RunOutcome::NotRun:
    case RunOutcome::EndedWithoutFinishing:
      return kHeadlessNotFinished;
  }
  return kHeadlessNotFinished;
}

}  // namespace

int runHeadlessPosting(AppContext& context) {
  TerminalDisplay display(stdout, isatty(STDOUT_FILENO) != 0);
  // Nobody is there to press Quit: a headless run always ends with the
  // program, with or without "/autoquit".
  const SessionFlags flags{true, true};
  PostingSession session(
      PostingSession::Services{context.loop, context.settings, *context.uploadList, *context.socketManager, display,
                               context.prompt},
      flags, [&context] { context.loop.quit(); });
  StopSignals signals(context.loop, session);
  session.SetUp();
  context.loop.run();
  display.flush();

  const std::string report = session.reportFileName();
  if (!report.empty()) {
    std::error_code error;
    const auto path = std::filesystem::absolute(report, error);
    std::printf("Report: %s\n", error ? report.c_str() : path.c_str());
  }
  std::fflush(stdout);
  return exitStatusOf(session.outcome());
}

}  // namespace tidewell
