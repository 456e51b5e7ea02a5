#include "jobarray.h"

#include <algorithm>

namespace btsend {

CJobArr::CJobArr() {
    jobs.reserve(maxJobs + 1);
}

CJobArr::~CJobArr() = default;

int CJobArr::add(std::unique_ptr<CSendJob> job) {
    if (count() >= maxJobs) {
        jobs.erase(jobs.begin());
    }
    jobs.push_back(std::move(job));
    return count() - 1;
}

int CJobArr::addUnique(std::unique_ptr<CSendJob> job) {
    const bool waiting = std::any_of(jobs.begin(), jobs.end(),
                                     [&](const auto& queued) { return queued->sameJob(*job); });
    if (waiting) {
        return 0;
    }
    add(std::move(job));
    return count();
}

std::unique_ptr<CSendJob> CJobArr::takeNext() {
    while (!jobs.empty()) {
        std::unique_ptr<CSendJob> job = std::move(jobs.back());
        jobs.pop_back();
        if (job->isRangeTest() || !job->isStale(staleSpan)) {
            return job;
        }
    }
    return nullptr;
}

}  // namespace btsend
