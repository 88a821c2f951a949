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
  FileDescriptor fd;
  do {
    fd = FileDescriptor(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  } while (!fd.isOpen() && errno == EINTR);
  if (!fd.isOpen()) {
    return Outcome::Unavailable;
  }
  int result = -1;
  do {
    result = flock(fd.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    return errno == EWOULDBLOCK ? Outcome::HeldElsewhere : Outcome::Unavailable;
  }
  lock = std::make_unique<InstanceLock>(Key{}, path, std::move(fd));
  return Outcome::Acquired;
}

std::string defaultInstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    return joinPath(runtime, "tidewell.lock");
  }
  return joinPath(temporaryFolder(), "tidewell-" + std::to_string(getuid()) + ".lock");
}

}  // namespace tidewell
