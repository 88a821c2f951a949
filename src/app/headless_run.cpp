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

std::string absolutePath(const std::string& name) {
  std::error_code error;
  const auto path = std::filesystem::absolute(name, error);
  return name.empty() || error ? name : path.string();
}

}  // namespace

int runHeadlessPosting(AppContext& context) {
  TerminalDisplay display(stdout, stderr, isatty(STDOUT_FILENO) != 0, context.loop.clock());
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

  const std::string report = absolutePath(session.reportFileName());
  if (!report.empty()) {
    std::printf("Report: %s\n", report.c_str());
  }
  if (const std::string nzb = absolutePath(session.nzbFileName()); !nzb.empty()) {
    std::printf("NZB: %s\n", nzb.c_str());
  }
  std::printf("%s\n", display.summary(report).c_str());
  std::fflush(stdout);
  return exitStatusOf(session.outcome());
}

}  // namespace tidewell
