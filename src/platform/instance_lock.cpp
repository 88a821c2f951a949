#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_system.h"

namespace tidewell {

namespace {

// Opens `path` with `flags` (retrying interruptions) and takes an exclusive
// flock without waiting; the locked descriptor, or a closed one with the
// outcome.
FileDescriptor openLocked(const std::string& path, int flags, InstanceLock::Outcome& outcome) {
  FileDescriptor fd;
  do {
    fd = FileDescriptor(open(path.c_str(), flags, 0600));
  } while (!fd.isOpen() && errno == EINTR);
  if (!fd.isOpen()) {
    outcome = InstanceLock::Outcome::Unavailable;
    return fd;
  }
  int result = -1;
  do {
    result = flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    outcome = errno == EWOULDBLOCK ? InstanceLock::Outcome::HeldElsewhere : InstanceLock::Outcome::Unavailable;
    return FileDescriptor();
  }
  outcome = InstanceLock::Outcome::Acquired;
  return fd;
}

}  // namespace

InstanceLock::Outcome InstanceLock::acquire(const std::string& path, std::unique_ptr<InstanceLock>& lock) {
  // O_CLOEXEC: a viewer started by this instance must not inherit the lock
  // and keep it after Tidewell has ended. O_NOFOLLOW: the file may sit in a
  // shared temporary folder.
  Outcome outcome = Outcome::Unavailable;
  FileDescriptor fd = openLocked(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, outcome);
  if (fd.isOpen()) {
    lock = std::make_unique<InstanceLock>(Key{}, path, std::move(fd));
  }
  return outcome;
}

InstanceLock::Outcome InstanceLock::acquireFolder(const std::string& folder, std::unique_ptr<InstanceLock>& lock) {
  Outcome outcome = Outcome::Unavailable;
  FileDescriptor fd = openLocked(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC, outcome);
  if (fd.isOpen()) {
    lock = std::make_unique<InstanceLock>(Key{}, folder, std::move(fd));
  }
  return outcome;
}

std::string defaultInstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    return joinPath(runtime, "tidewell.lock");
  }
  return joinPath(temporaryFolder(), "tidewell-" + std::to_string(getuid()) + ".lock");
}

}  // namespace tidewell
