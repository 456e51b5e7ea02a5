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

SingleInstanceLock::~SingleInstanceLock() = default;

bool SingleInstanceLock::acquire(int waitMs) {
    if (!lockFile.isOpen()) {
        lockFile = FileDescriptor(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    }
    if (!lockFile.isOpen()) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (::flock(lockFile.get(), LOCK_EX | LOCK_NB) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace platform
