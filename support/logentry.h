#pragma once
// The error-log entry every thread uses. Entries are written one at a time; a writer waits at
// most 3856 ms for its turn and otherwise drops its entry, so logging never holds a worker up
// for longer.

#include <string>
#include <typeinfo>

#include "platform/timedmutex.h"

namespace support {

constexpr int logLockWaitMs = 3856;

// One entry with the reporting class `classTag`; false (and the entry dropped) when the turn
// did not come in time.
bool logError(const std::string& text, const std::string& classTag);
// The lock that keeps the entries apart, so tests can hold it.
platform::TimedMutex& logLock();

// The reporting class as the error log names it: the demangled type of a pointer to it.
std::string typeName(const std::type_info& type);
template <typename T>
std::string typeTag(T* self) {
    return typeName(typeid(self));
}

}  // namespace support
