#include "instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "system.h"

namespace platform {

namespace {
constexpr const char* lockName = "/orvanheim.lock";

std::string fromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}
}  // namespace

SingleInstanceLock::SingleInstanceLock(const std::string& folder)
    : SingleInstanceLock(folder.empty() ? defaultFolders() : std::vector<std::string>{folder}) {}

SingleInstanceLock::SingleInstanceLock(std::vector<std::string> folders)
    : candidates(std::move(folders)) {}

SingleInstanceLock::~SingleInstanceLock() = default;

std::vector<std::string> SingleInstanceLock::defaultFolders() {
    std::vector<std::string> folders;
    for (const std::string& folder :
         {fromEnvironment("XDG_RUNTIME_DIR"), fromEnvironment("TMPDIR"), std::string("/tmp")}) {
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(folder);
        }
    }
    return folders;
}

// A lock file that another user made in a shared folder is opened for reading, which is enough
// for the lock: that user's running station still counts. It is opened without following a
// link, so that a link planted in a shared folder never makes the station create a file
// elsewhere.
bool SingleInstanceLock::openLockFile() {
    constexpr int flags = O_CLOEXEC | O_NOFOLLOW;
    for (const std::string& folder : candidates) {
        lockPath = folder + lockName;
        lockFile = FileDescriptor(::open(lockPath.c_str(), O_RDWR | O_CREAT | flags, 0666));
        const int error = errno;
        if (!lockFile.isOpen() && error == EACCES) {
            lockFile = FileDescriptor(::open(lockPath.c_str(), O_RDONLY | flags));
        }
        if (lockFile.isOpen()) {
            return true;
        }
        lastProblem = "cannot open " + lockPath + ": " + systemErrorText(error);
    }
    return false;
}

SingleInstanceLock::Outcome SingleInstanceLock::acquire(int waitMs) {
    if (!lockFile.isOpen() && !openLockFile()) {
        return Outcome::unusable;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (::flock(lockFile.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            lastProblem = "cannot lock " + lockPath + ": " + systemErrorText(errno);
            return Outcome::unusable;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return Outcome::heldElsewhere;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return Outcome::acquired;
}

}  // namespace platform
