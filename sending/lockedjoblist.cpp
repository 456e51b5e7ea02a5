#include "lockedjoblist.h"

#include <mutex>

namespace btsend {

namespace {
using Guard = std::unique_lock<platform::TimedMutex>;
}

std::unique_ptr<CSendJob> CJobListSyncMgr::takeNext() {
    Guard guard(lock, takeWait);
    if (!guard.owns_lock()) {
        return nullptr;
    }
    return jobs.takeNext();
}

int CJobListSyncMgr::add(std::unique_ptr<CSendJob>& job) {
    Guard guard(lock, addWait);
    if (!guard.owns_lock()) {
        return 0;
    }
    jobs.add(std::move(job));
    return 1;
}

int CJobListSyncMgr::addUnique(std::unique_ptr<CSendJob> job) {
    Guard guard(lock, addUniqueWait);
    if (!guard.owns_lock()) {
        return -1;
    }
    return jobs.addUnique(std::move(job));
}

int CJobListSyncMgr::count() {
    Guard guard(lock, countWait);
    return guard.owns_lock() ? jobs.count() : 0;
}

void CJobListSyncMgr::deleteAll() {
    Guard guard(lock, deleteAllWait);
    if (guard.owns_lock()) {
        jobs.deleteAll();
    }
}

}  // namespace btsend
