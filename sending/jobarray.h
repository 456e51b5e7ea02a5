#pragma once
// The send jobs in the order they were added (index 0 the oldest). It keeps at most five: a
// sixth pushes the oldest out. Jobs are served newest first. Callers hold the list's lock.

#include <chrono>
#include <memory>
#include <vector>

#include "sending/sendjob.h"

namespace btsend {

class CJobArr {
  public:
    static constexpr int maxJobs = 5;
    // A job whose sighting is older than this is dropped instead of served.
    static constexpr std::chrono::milliseconds staleSpan{6000};

    CJobArr();
    virtual ~CJobArr();
    CJobArr(const CJobArr&) = delete;
    CJobArr& operator=(const CJobArr&) = delete;

    // Appends `job`, first dropping the oldest when the list is full; the index of the job.
    int add(std::unique_ptr<CSendJob> job);
    // 0 (and `job` destroyed) when the same job already waits; otherwise as add, and the
    // number of jobs now in the list.
    int addUnique(std::unique_ptr<CSendJob> job);
    // The newest job that is not stale (range-test jobs never are); every stale job met on the
    // way is destroyed. Null when none is left.
    std::unique_ptr<CSendJob> takeNext();
    int count() const { return static_cast<int>(jobs.size()); }
    void deleteAll() { jobs.clear(); }

  private:
    std::vector<std::unique_ptr<CSendJob>> jobs;
};

}  // namespace btsend
