#include "service.h"

#include <sys/stat.h>
#include <systemd/sd-daemon.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace platform::service {

bool notify(const std::string& state) {
    return ::sd_notify(0, state.c_str()) > 0;
}

std::optional<std::chrono::microseconds> watchdogInterval() {
    std::uint64_t usec = 0;
    if (::sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) {
        return std::nullopt;
    }
    return std::chrono::microseconds(usec);
}

bool stderrIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    char rest = 0;
    if (std::sscanf(stream, "%llu:%llu%c", &device, &inode, &rest) != 2) {
        return false;
    }
    struct stat st {};
    return ::fstat(2, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

}  // namespace platform::service
