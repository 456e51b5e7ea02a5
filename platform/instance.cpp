#include "instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace platform {

SingleInstanceLock::SingleInstanceLock(std::string folder) {
    if (folder.empty()) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        folder = runtime && *runtime ? runtime : "/tmp";
    }
    lockPath = folder + "/orvanheim.lock";
}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd >= 0) {
        ::close(fd);
    }
}

bool SingleInstanceLock::acquire(int waitMs) {
    if (fd < 0) {
        fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace platform
