#pragma once
// The single-instance lock: an exclusive flock on "orvanheim.lock" in the runtime folder.
// The kernel drops the lock when the process ends, so a crashed station never blocks a restart.

#include <string>

#include "platform/filedescriptor.h"

namespace platform {

class SingleInstanceLock {
  public:
    // `folder` empty: $XDG_RUNTIME_DIR, else /tmp.
    explicit SingleInstanceLock(std::string folder = "");
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process now holds the lock (waits at most `waitMs`).
    bool acquire(int waitMs);
    const std::string& path() const { return lockPath; }

  private:
    std::string lockPath;
    FileDescriptor lockFile;
};

}  // namespace platform
