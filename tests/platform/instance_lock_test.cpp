#include "platform/instance_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace tidewell {
namespace {

using test::TempDir;

// Tries the lock from a child process (flock locks belong to the open file,
// so a second open in the same process would conflict too, but a child is
// what a second start really is) and returns the child's outcome.
InstanceLock::Outcome outcomeInChild(const std::string& path) {
  const pid_t child = fork();
  if (child == 0) {
    std::unique_ptr<InstanceLock> lock;
    _exit(static_cast<int>(InstanceLock::acquire(path, lock)));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return static_cast<InstanceLock::Outcome>(WEXITSTATUS(status));
}

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstLetsGo) {
  TempDir dir;
  const std::string path = dir.file("tidewell.lock");
  std::unique_ptr<InstanceLock> first;
  ASSERT_EQ(InstanceLock::acquire(path, first), InstanceLock::Outcome::Acquired);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(outcomeInChild(path), InstanceLock::Outcome::HeldElsewhere);
  first.reset();
  EXPECT_EQ(outcomeInChild(path), InstanceLock::Outcome::Acquired);
}

TEST(InstanceLock, ACrashedHolderDoesNotBlockTheNextStart) {
  TempDir dir;
  const std::string path = dir.file("tidewell.lock");
  const pid_t child = fork();
  if (child == 0) {
    std::unique_ptr<InstanceLock> lock;
    if (InstanceLock::acquire(path, lock) == InstanceLock::Outcome::Acquired) {
      std::abort();  // dies holding the lock; the file stays behind
    }
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  std::unique_ptr<InstanceLock> lock;
  EXPECT_EQ(InstanceLock::acquire(path, lock), InstanceLock::Outcome::Acquired);
}

TEST(InstanceLock, AProgramStartedByTheHolderDoesNotInheritTheLock) {
  TempDir dir;
  const std::string path = dir.file("tidewell.lock");
  std::unique_ptr<InstanceLock> lock;
  ASSERT_EQ(InstanceLock::acquire(path, lock), InstanceLock::Outcome::Acquired);
  // A viewer the program starts would run on; it must not keep the lock.
  // The close-on-exec pipe reads end-of-file once the child has exec'd.
  int ready[2];
  ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
  const pid_t viewer = fork();
  if (viewer == 0) {
    close(ready[0]);
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(ready[1]);
  char byte = 0;
  [[maybe_unused]] const auto got = read(ready[0], &byte, 1);
  close(ready[0]);
  lock.reset();
  EXPECT_EQ(outcomeInChild(path), InstanceLock::Outcome::Acquired);
  kill(viewer, SIGKILL);
  waitpid(viewer, nullptr, 0);
}

TEST(InstanceLock, UnusableLockPathIsReportedAsUnavailable) {
  TempDir dir;
  std::unique_ptr<InstanceLock> lock;
  EXPECT_EQ(InstanceLock::acquire(dir.file("missing/folder/tidewell.lock"), lock), InstanceLock::Outcome::Unavailable);
  EXPECT_EQ(lock, nullptr);
}

TEST(InstanceLock, DefaultPathIsPerUserInTheRuntimeFolderElseTheTemporaryFolder) {
  const char* oldRuntime = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = oldRuntime != nullptr ? oldRuntime : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/1234", 1);
  EXPECT_EQ(defaultInstanceLockPath(), "/run/user/1234/tidewell.lock");
  unsetenv("XDG_RUNTIME_DIR");
  const std::string fallback = defaultInstanceLockPath();
  EXPECT_NE(fallback.find("tidewell-" + std::to_string(getuid()) + ".lock"), std::string::npos);
  if (oldRuntime != nullptr) {
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  }
}

}  // namespace
}  // namespace tidewell
