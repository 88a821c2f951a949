#include "app/headless_run.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "app/app_context.h"
#include "app/signal_watch.h"
#include "app/terminal_display.h"
#include "net/socket_manager.h"
#include "posting/posting_session.h"

namespace tidewell {

namespace {

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
  PostingSession session(PostingSession::Services{context.loop, context.settings, *context.uploadList,
                                                  *context.socketManager, display, context.prompt},
                         flags, [&context] { context.loop.quit(); });
  // Ctrl-C or a termination request stops the run the way the Stop button
  // does (the report says so), then ends the program.
  SignalWatch signals(context.loop);
  signals.onSignal([&](int signal) {
    std::fprintf(stderr, "Tidewell: stopping on signal %d.\n", signal);
    if (!session.isIdle()) {
      session.stopOrQuit();
    }
    context.loop.quit();
  });
  session.setUp();
  context.loop.run();
  display.flush();

  const std::string report = session.reportFileName();
  if (!report.empty()) {
    std::error_code error;
    const auto path = std::filesystem::absolute(report, error);
    std::printf("Report: %s\n", error ? report.c_str() : path.c_str());
  }
  if (const std::string nzb = session.nzbFileName(); !nzb.empty()) {
    std::error_code error;
    const auto path = std::filesystem::absolute(nzb, error);
    std::printf("NZB: %s\n", error ? nzb.c_str() : path.c_str());
  }
  std::fflush(stdout);
  return exitStatusOf(session.outcome());
}

}  // namespace tidewell
