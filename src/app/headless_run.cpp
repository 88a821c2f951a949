#include "app/headless_run.h"

#include <cstdio>

#include "app/app_context.h"

namespace tidewell {

int runHeadlessPosting(AppContext& /*context*/) {
  std::puts("Tidewell: headless posting is not available in this build; nothing was posted.");
  std::fflush(stdout);
  return kHeadlessNotFinished;
}

}  // namespace tidewell
