#pragma once
// The single-instance lock: an exclusive flock on "orvanheim.lock" in the runtime folder.
// The kernel drops the lock when the process ends, so a crashed station never blocks a restart.

#include <string>
#include <vector>

#include "platform/filedescriptor.h"

namespace platform {

class SingleInstanceLock {
  public:
    enum class Outcome {
        acquired,       // this process holds the lock now
        heldElsewhere,  // another running process holds it
        unusable,       // no lock file could be opened in any folder (problem() says why)
    };

    // `folder` empty: the first usable of defaultFolders().
    explicit SingleInstanceLock(const std::string& folder = "");
    // Tries the folders in order and uses the first in which the lock file opens.
    explicit SingleInstanceLock(std::vector<std::string> folders);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Waits at most `waitMs` for the lock.
    Outcome acquire(int waitMs);
    // The lock file in use (after acquire), or the last one tried.
    const std::string& path() const { return lockPath; }
    // Why no lock file could be opened.
    const std::string& problem() const { return lastProblem; }

    // $XDG_RUNTIME_DIR, then the temporary folder ($TMPDIR, else /tmp): a runtime folder left
    // over from another session, or absent under su or a service, must not stop the station.
    static std::vector<std::string> defaultFolders();

  private:
    bool openLockFile();

    std::vector<std::string> candidates;
    std::string lockPath;
    std::string lastProblem;
    FileDescriptor lockFile;
};

}  // namespace platform
