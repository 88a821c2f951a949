#pragma once

#include <memory>
#include <string>

#include "platform/file_io.h"

namespace tidewell {

// The one-instance rule: a running Tidewell holds an exclusive flock() on a
// per-user lock file. The kernel drops the lock when the process ends, however
// it ends, so a crashed instance never blocks the next one.
class InstanceLock {
 public:
  enum class Outcome {
    Acquired,       // this process is now the one instance
    HeldElsewhere,  // another process holds the lock
    Unavailable,    // the lock file could not be opened or locked
  };

  // Tries once, without waiting. `lock` is set only when Acquired.
  [[nodiscard]] static Outcome acquire(const std::string& path, std::unique_ptr<InstanceLock>& lock);
  // The same lock on a folder itself (the working directory, where a run
  // keeps its spool, report and log files): no file is created, and the
  // folder need not be writable.
  [[nodiscard]] static Outcome acquireFolder(const std::string& folder, std::unique_ptr<InstanceLock>& lock);

  struct Key {  // only acquire() can make one
   private:
    friend class InstanceLock;
    Key() = default;
  };
  InstanceLock(Key /*key*/, std::string path, FileDescriptor fd) : path_(std::move(path)), fd_(std::move(fd)) {}
  // Closing the descriptor releases the lock; the file stays, so that two
  // starts never race on creating and deleting it.
  ~InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  InstanceLock(InstanceLock&&) = delete;
  InstanceLock& operator=(InstanceLock&&) = delete;

  [[nodiscard]] const std::string& path() const { return path_; }

 private:
  std::string path_;
  FileDescriptor fd_;
};

// "tidewell.lock" in $XDG_RUNTIME_DIR (private to the user), else
// "tidewell-<uid>.lock" in the temporary folder.
[[nodiscard]] std::string defaultInstanceLockPath();

}  // namespace tidewell
