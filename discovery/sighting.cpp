#include "sighting.h"

#include <cstring>

namespace blto {

bool sameDevice(const NyvexSighting* a, const NyvexSighting* b) {
    return a != nullptr && b != nullptr && a->device.address == b->device.address;
}

CBtAdWCounter::CBtAdWCounter() : made(platform::now()) {}

CBtAdWCounter::~CBtAdWCounter() = default;

CBtAdWCounter::CBtAdWCounter(const CBtAdWCounter& other) : made(other.made) {
    data = std::make_unique<NyvexSighting>();
    if (other.data) {
        *data = *other.data;
    }
}

CBtAdWCounter& CBtAdWCounter::operator=(const CBtAdWCounter& other) {
    if (this == &other) {
        return *this;
    }
    made = other.made;
    if (!data) {
        data = std::make_unique<NyvexSighting>();
    }
    // An empty source leaves an empty (zero) record, so the result always equals a fresh copy.
    *data = other.data ? *other.data : NyvexSighting{};
    return *this;
}

bool CBtAdWCounter::isOlderThan(std::chrono::milliseconds span) const {
    return platform::now() - made > span;
}

}  // namespace blto
