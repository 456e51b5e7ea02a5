#include "beep.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {
std::mutex observerLock;
BeepObserver observer;
}  // namespace

void beep(unsigned frequencyHz, unsigned durationMs) {
    std::lock_guard<std::mutex> guard(observerLock);
    if (observer) {
        observer(frequencyHz, durationMs);
        return;
    }
    // The terminal bell is the one sound every desktop and console has.
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

void setBeepObserver(BeepObserver replacement) {
    std::lock_guard<std::mutex> guard(observerLock);
    observer = std::move(replacement);
}

}  // namespace platform
