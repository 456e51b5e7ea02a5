#pragma once
// The back office sits between discovery and sending. Its worker takes the sightings the
// scanner queued, drops every device on the blocked-address list or still in the device memory,
// and hands the rest to the new-device queue of the job machine. It owns the device memory:
// opens it, records every served device, ages it out after the configured duration and saves
// it. One re-entrant lock guards the memory and the blocked-address list; every operation waits
// for it at most its own time and is neutral when the wait fails.
//
// Saves take turns. A save holds the lock only while it copies the memory, then writes the copy
// without it, so sightings and served devices never wait for the disk; the memory counts as
// saved only if it did not change after the copy. Reopening the store takes the same turn.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "discovery/sightingqueue.h"
#include "memory/btadmemory.h"
#include "platform/timedmutex.h"
#include "worker/workerbase.h"

namespace backo {

class CBackOffice : public blto::CBlueSync {
  public:
    static constexpr std::chrono::milliseconds startPause{5000};
    static constexpr std::chrono::milliseconds passPause{30};
    static constexpr std::chrono::milliseconds idlePause{2011};

    static constexpr std::chrono::milliseconds openWait{356};
    static constexpr std::chrono::milliseconds saveWait{356};
    static constexpr std::chrono::milliseconds servedWait{856};
    static constexpr std::chrono::milliseconds countWait{956};
    static constexpr std::chrono::milliseconds clearWait{1956};
    // A lookup waits as long as recording a served device; the list reload as long as clearing.
    static constexpr std::chrono::milliseconds knownWait{856};
    static constexpr std::chrono::milliseconds blockedListWait{1956};
    // rememberedCount() purges and saves on its 21st call, then on every 20th.
    static constexpr int callsBetweenPurges = 20;

    CBackOffice() = default;
    // Stops and joins the worker; the memory goes without being saved (closing the main window
    // saved it).
    ~CBackOffice() override;

    // The queues the worker drains and fills: the discovery front's sightings and the thread
    // center's new devices. They must outlive the worker.
    void setQueues(CArrSyncMgr* sightings, CArrSyncMgr* newDevices);
    // How long a served device is left alone: `duration` days, or minutes in test mode. Polite
    // mode gives a remembered device seen again one more minute.
    void configure(int duration, bool politeMode, bool testMode);
    // Rebuilds the blocked-address list from the settings nogoaddress1, nogoaddress2, ... up to
    // the first missing one. False when the lock was busy and the old list stays.
    bool loadBlockedAddresses();
    // Replaces the memory with the archive `path`, saving a changed memory first; the result of
    // loading it. False when the lock was busy (the old memory then stays). Waits at most
    // openWait in all, first for a save under way, then for the lock.
    bool openStore(const std::string& path);

    // Starts the worker; false when it is still running.
    bool start();

    // True when the device is blocked or remembered, and also when the lock is busy or the
    // sighting has no record: a device is never offered for sending unless it is known to be
    // allowed. The next scan offers it again.
    bool isKnown(const blto::CBtAdWCounter& sighting);
    // Remembers the device as served now (true when it was not remembered yet), then purges and
    // saves the memory. False without a memory or when the lock was busy.
    bool markServed(const blto::CBtAdWCounter& record);
    // The number of remembered devices; every 20th call also purges and saves. 0 without a
    // memory or when the lock was busy.
    int rememberedCount();
    // Saves the memory if it changed; true when nothing is left unsaved. A failed write is
    // logged. Waits at most saveWait in all, first for a save under way, then for the lock.
    bool save();
    // Forgets every device (the cleared memory is saved by the next save).
    void clearMemory();

    // The lock itself, so tests can hold it from another thread.
    platform::RecursiveTimedMutex& lockForTest() { return lock; }
    // Runs on the saving thread after the copy was taken, just before it is written: tests
    // watch what other threads can do while a save is on its way to the disk.
    void setWhileWritingForTest(std::function<void()> hook) { whileWriting = std::move(hook); }

  private:
    void run();
    void sortSightings();
    // With the lock held: forgets the devices served longer ago than the duration. The caller
    // saves once it has let go of the lock.
    void purgeExpired();
    void reportUnsaved(const std::string& why);
    void keepDamagedArchive(const CBtAdMemory& loaded);

    std::atomic<bool> politeMode{true};
    std::atomic<bool> testMode{false};
    std::unique_ptr<CBtAdMemory> memory;
    platform::RecursiveTimedMutex lock;
    // One save at a time, from its copy to the disk; taken before the lock, never while
    // holding it. The copy's storage is kept from one save to the next.
    platform::TimedMutex saveTurn;
    CBtAdMemory::Snapshot saveCopy;
    std::function<void()> whileWriting;
    std::set<std::string> blockedAddresses;
    std::atomic<int> duration{3};
    int tickCount = 0;
    std::atomic<CArrSyncMgr*> sightingQueue{nullptr};
    std::atomic<CArrSyncMgr*> newDeviceQueue{nullptr};
};

}  // namespace backo
