#include "logentry.h"

#include <cxxabi.h>

#include <chrono>
#include <cstdlib>
#include <mutex>

#include "support/errlog.h"

namespace support {

platform::TimedMutex& logLock() {
    // Never destroyed: a worker that ends while the program exits may still log.
    static auto* lock = new platform::TimedMutex;
    return *lock;
}

bool logError(const std::string& text, const std::string& classTag) {
    std::unique_lock<platform::TimedMutex> guard(logLock(),
                                                 std::chrono::milliseconds(logLockWaitMs));
    if (!guard.owns_lock()) {
        return false;
    }
    CErrLog1::write(text, classTag, "");
    return true;
}

std::string typeName(const std::type_info& type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : type.name();
    std::free(demangled);
    return name;
}

}  // namespace support
