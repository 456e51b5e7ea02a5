#include "logentry.h"

#include <cxxabi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/service.h"
#include "support/errlog.h"

namespace support {

namespace {
// Under a service manager stderr is the journal: every entry goes there as well, as an error
// ("<3>"), so that `journalctl -u nyvex` shows what went wrong without the UTF-16 log file.
void echoToJournal(const std::string& text, const std::string& classTag) {
    static const bool toJournal = platform::service::stderrIsJournal();
    if (toJournal) {
        std::fprintf(stderr, "<3>error log: %s [%s]\n", text.c_str(), classTag.c_str());
        std::fflush(stderr);
    }
}
}  // namespace

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
    echoToJournal(text, classTag);
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
