#pragma once
// A queue of sightings shared between worker threads (the sightings queue of the discovery
// front, the new-device queue of the thread center). Every operation waits for the queue's lock
// at most its own time; when the wait fails it does nothing and returns the neutral value.
// The queue owns its elements: handing one in gives up ownership (also when it is rejected),
// taking one out takes it. The newest element leaves first.

#include <chrono>
#include <memory>
#include <mutex>

#include "discovery/sightingarray.h"
#include "platform/timedmutex.h"

class CArrSyncMgr {
  public:
    using Sighting = std::unique_ptr<blto::CBtAdWCounter>;

    static constexpr std::chrono::milliseconds addWait{300};
    static constexpr std::chrono::milliseconds takeWait{300};
    static constexpr std::chrono::milliseconds copyWait{300};
    static constexpr std::chrono::milliseconds countWait{300};
    static constexpr std::chrono::milliseconds removeWait{844};
    static constexpr std::chrono::milliseconds deleteAllWait{788};

    CArrSyncMgr() = default;
    virtual ~CArrSyncMgr() = default;
    CArrSyncMgr(const CArrSyncMgr&) = delete;
    CArrSyncMgr& operator=(const CArrSyncMgr&) = delete;

    // Appends `sighting` unless a sighting of the same device is queued; false (and the
    // sighting deleted) when it was not queued.
    bool addUnique(Sighting sighting);
    // The newest sighting; null when the queue is empty or busy.
    Sighting takeLast();
    // A copy of element `index` (record and stamp); null for an index outside the queue.
    Sighting copyAt(int index);
    // Number of queued sightings; 0 when busy.
    int count();
    // Deletes the first queued sighting of the device `record` belongs to.
    void removeDevice(const NyvexSighting& record);
    void deleteAll();

    // The queue's lock itself, so tests can hold it from another thread.
    platform::TimedMutex& lockForTest() { return lock; }

  private:
    blto::CBtAdArr items;
    platform::TimedMutex lock;
};
