#include "platform/viewer.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

extern char** environ;

namespace tidewell {

namespace {
constexpr int kLaunched = 33;
constexpr int kNotFound = 2;
constexpr int kAccessDenied = 5;
}  // namespace

int launchViewer(const std::string& file, const std::string& viewer) {
  const std::string program = viewer.empty() ? "xdg-open" : viewer;
  std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(file.c_str()), nullptr};

  // Run the viewer in a process of its own that outlives us: the child
  // spawns the viewer and exits at once, so no zombie is left behind and
  // the viewer is adopted by init. Its exit status carries the spawn result.
  const pid_t child = fork();
  if (child < 0) {
    return 0;
  }
  if (child == 0) {
    setsid();
    pid_t viewerPid = 0;
    const int rc = posix_spawnp(&viewerPid, program.c_str(), nullptr, nullptr, argv.data(), environ);
    _exit(rc == 0 ? 0 : (rc == ENOENT ? kNotFound : (rc == EACCES ? kAccessDenied : 1)));
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) {
    return 0;
  }
  switch (WEXITSTATUS(status)) {
    case 0:
      return kLaunched;
    case kNotFound:
      return kNotFound;
    case kAccessDenied:
      return kAccessDenied;
    default:
      return 0;
  }
}

}  // namespace tidewell
