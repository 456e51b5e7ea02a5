#include "inquirylength.h"

#include <algorithm>
#include <mutex>

std::int16_t CInquiryLength::get() {
    std::unique_lock guard(lock, std::defer_lock);
    if (!guard.try_lock_for(lockWait)) {
        return 0;
    }
    return current;
}

void CInquiryLength::adjust(int found) {
    std::unique_lock guard(lock, std::defer_lock);
    if (!guard.try_lock_for(lockWait)) {
        return;
    }
    // Computed in full width: a huge count must not wrap round to a long inquiry.
    const long long next = found != 0 ? static_cast<long long>(current) - found : current + 1;
    current = static_cast<std::int16_t>(std::clamp<long long>(next, minimum, maximum));
}
