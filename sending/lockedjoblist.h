#pragma once
// The station's one job list behind its lock. Every operation waits for the lock at most its
// own time; when the wait fails it does nothing else and returns its neutral value, so a busy
// list never blocks the job machine, the push dispatcher or the operator for long.

#include <chrono>
#include <memory>

#include "platform/timedmutex.h"
#include "sending/jobarray.h"

namespace btsend {

class CJobListSyncMgr {
  public:
    static constexpr std::chrono::milliseconds takeWait{379};
    static constexpr std::chrono::milliseconds addWait{300};
    static constexpr std::chrono::milliseconds addUniqueWait{345};
    static constexpr std::chrono::milliseconds countWait{300};
    static constexpr std::chrono::milliseconds deleteAllWait{300};

    CJobListSyncMgr() = default;
    virtual ~CJobListSyncMgr() = default;
    CJobListSyncMgr(const CJobListSyncMgr&) = delete;
    CJobListSyncMgr& operator=(const CJobListSyncMgr&) = delete;

    // Null when the list is empty or busy.
    std::unique_ptr<CSendJob> takeNext();
    // 1 when `job` was stored (it is moved from); 0 when the list was busy: the caller keeps it.
    int add(std::unique_ptr<CSendJob>& job);
    // As CJobArr::addUnique; -1 when the list was busy (the job is destroyed).
    int addUnique(std::unique_ptr<CSendJob> job);
    // 0 when busy.
    int count();
    void deleteAll();

    // The list's lock itself, so tests can hold it from another thread.
    platform::TimedMutex& lockForTest() { return lock; }

  private:
    CJobArr jobs;
    platform::TimedMutex lock;
};

}  // namespace btsend
