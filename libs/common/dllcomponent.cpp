#include "dllcomponent.h"

#include <chrono>
#include <cstdarg>
#include <string_view>

#include "platform/btaddress.h"
#include "platform/text.h"

namespace {

// The length of a terminated UTF-16 text, counted no further than `limit`.
std::size_t boundedLength(const char16_t* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != u'\0') {
        ++length;
    }
    return length;
}

}  // namespace

CDllComponent::~CDllComponent() {
    closeTrace();
}

int CDllComponent::startLogging(const char16_t* path) {
    std::unique_lock guard(traceLock, std::defer_lock);
    if (!guard.try_lock_for(std::chrono::milliseconds(traceLockWaitMs))) {
        return 0;
    }
    closeTrace();
    if (path == nullptr) {
        return 0;
    }
    const std::size_t length = boundedLength(path, pathLimit);
    if (length >= pathLimit) {
        return 0;
    }
    tracePath = platform::toUtf8(std::u16string_view(path, length));
    traceFile = std::fopen(tracePath.c_str(), "a+");
    return traceFile != nullptr ? 1 : 0;
}

void CDllComponent::stopLogging() {
    std::unique_lock guard(traceLock, std::defer_lock);
    if (guard.try_lock_for(std::chrono::milliseconds(traceLockWaitMs))) {
        closeTrace();
    }
}

void CDllComponent::trace(const char* format, ...) {
    std::unique_lock guard(traceLock, std::defer_lock);
    if (!guard.try_lock_for(std::chrono::milliseconds(traceLockWaitMs)) || traceFile == nullptr) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(traceFile, format, arguments);
    va_end(arguments);
    std::fflush(traceFile);
}

void CDllComponent::traceAddress(std::uint64_t address) {
    trace("%s\n", platform::btaddress::withColons(address).c_str());
}

void CDllComponent::closeTrace() {
    if (traceFile != nullptr) {
        std::fclose(traceFile);
        traceFile = nullptr;
    }
    tracePath.clear();
}
