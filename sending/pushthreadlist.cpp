#include "pushthreadlist.h"

#include <algorithm>

namespace btsend {

bool COppSendMgr::hasDevice(std::uint32_t low, std::uint32_t high) const {
    return std::any_of(workers.begin(), workers.end(), [&](const auto& worker) {
        return worker->addressLow() == low && worker->addressHigh() == high;
    });
}

bool COppSendMgr::collect(int& successes, int& failures) {
    while (!workers.empty()) {
        if (workers.front()->isRunning()) {
            return true;
        }
        if (workers.front()->result()) {
            ++successes;
        } else {
            ++failures;
        }
        workers.erase(workers.begin());
    }
    return false;
}

}  // namespace btsend
