#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_system.h"

namespace tidewell {

InstanceLock::Outcome InstanceLock::acquire(const std::string& path, std::unique_ptr<InstanceLock>& lock) {
  // O_CLOEXEC: a viewer started by this instance must not inherit the lock
  // and keep it after Tidewell has ended. O_NOFOLLOW: the file may sit in a
  // shared temporary folder.
  int fd = -1;
  do {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    return Outcome::Unavailable;
  }
  int result = -1;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    return held ? Outcome::HeldElsewhere : Outcome::Unavailable;
  }
  lock = std::make_unique<InstanceLock>(Key{}, path, fd);
  return Outcome::Acquired;
}

InstanceLock::~InstanceLock() {
  // Closing the descriptor releases the lock; the file stays, so that two
  // starts never race on creating and deleting it.
  close(fd_);
}

std::string defaultInstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    return joinPath(runtime, "tidewell.lock");
  }
  return joinPath(temporaryFolder(), "tidewell-" + std::to_string(getuid()) + ".lock");
}

}  // namespace tidewell
