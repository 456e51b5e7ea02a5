#include "pushoutcome.h"

#include <algorithm>

namespace btsend {

namespace {

constexpr std::chrono::seconds endWait{2};

}  // namespace

std::uint64_t CPushesInFlight::begin(std::string phoneName, std::string campaignName) {
    std::unique_lock guard(lock, std::defer_lock);
    if (!guard.try_lock_for(lockWait)) {
        return 0;
    }
    Push push;
    push.id = ++lastId;
    push.phoneName = std::move(phoneName);
    push.campaignName = std::move(campaignName);
    pushes.push_back(std::move(push));
    return lastId;
}

void CPushesInFlight::progress(std::uint64_t id, std::uint64_t bytesAccepted,
                               std::uint64_t fileBytes) {
    std::unique_lock guard(lock, std::defer_lock);
    if (id == 0 || !guard.try_lock_for(lockWait)) {
        return;
    }
    const auto found = std::find_if(pushes.begin(), pushes.end(),
                                    [id](const Push& push) { return push.id == id; });
    if (found != pushes.end()) {
        found->bytesAccepted = bytesAccepted;
        found->fileBytes = fileBytes;
    }
}

// A push whose removal found the list busy would show long after it ended, so the removal
// waits longer than the others; every holder keeps the lock for a few instructions only.
void CPushesInFlight::end(std::uint64_t id) {
    std::unique_lock guard(lock, std::defer_lock);
    if (id == 0 || !guard.try_lock_for(endWait)) {
        return;
    }
    std::erase_if(pushes, [id](const Push& push) { return push.id == id; });
}

std::vector<CPushesInFlight::Push> CPushesInFlight::snapshot() const {
    std::unique_lock guard(lock, std::defer_lock);
    if (!guard.try_lock_for(lockWait)) {
        return {};
    }
    return pushes;
}

}  // namespace btsend
