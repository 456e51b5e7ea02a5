#include "pushcounters.h"

#include <mutex>

namespace btsend {

namespace {
using Guard = std::unique_lock<platform::TimedMutex>;
}

std::int32_t COppParms::read(const std::int32_t& counter) {
    Guard guard(lock, lockWait);
    return guard.owns_lock() ? counter : 0;
}

void COppParms::write(std::int32_t& counter, std::int32_t value) {
    Guard guard(lock, lockWait);
    if (guard.owns_lock()) {
        counter = value;
    }
}

std::int32_t COppParms::getFailed() {
    return read(failed);
}

std::int32_t COppParms::getSuccessful() {
    return read(successful);
}

std::int32_t COppParms::getActive() {
    return read(active);
}

void COppParms::setFailed(std::int32_t value) {
    write(failed, value);
}

void COppParms::setSuccessful(std::int32_t value) {
    write(successful, value);
}

void COppParms::setActive(std::int32_t value) {
    write(active, value);
}

bool COppParms::addOutcomes(std::int32_t successes, std::int32_t failures) {
    if (successes == 0 && failures == 0) {
        return true;
    }
    Guard guard(lock, lockWait);
    if (!guard.owns_lock()) {
        return false;
    }
    successful += successes;
    failed += failures;
    return true;
}

}  // namespace btsend
