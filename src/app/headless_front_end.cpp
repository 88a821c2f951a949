#include "app/headless_front_end.h"

#include <csignal>
#include <cstdio>

#include "app/app_context.h"
#include "app/headless_run.h"
#include "upload/spool_files.h"

namespace tidewell {

int runHeadlessFrontEnd(AppContext& context) {
  // Standard output may be a pipe whose reader goes away (`| head`): the run
  // goes on posting and its writes to the closed pipe simply fail.
  std::signal(SIGPIPE, SIG_IGN);
  context.prompt.setTarget(std::make_unique<StderrPrompt>());
  if (!context.postAtStart) {
    std::puts("Tidewell: without a window there is nothing to do unless \"/tidewell\" is given.");
    std::fflush(stdout);
    return 0;
  }
  context.socketManager = startSocketManager(context.loop);
  deleteSpoolFiles();
  const int status = runHeadlessPosting(context);
  context.socketManager.reset();
  deleteSpoolFiles();
  return status;
}

}  // namespace tidewell
