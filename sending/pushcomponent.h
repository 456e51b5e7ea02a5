#pragma once
// The normal push path: binds the object-push library and runs the dispatcher, which takes the
// newest job, holds the radio lock on behalf of every push in flight and starts one worker
// thread per push. The radio lock is released on the first turn that finds no worker running,
// so the scanner inquires only while nothing is pushed.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "binding/librarybinding.h"
#include "discovery/sightingqueue.h"
#include "sending/lockedjoblist.h"
#include "sending/pushcounters.h"
#include "sending/pushthreadlist.h"
#include "worker/workerbase.h"

namespace btsend {

// Records a device as served in the device memory.
using ServedRecorder = std::function<void(const blto::CBtAdWCounter&)>;

class COppComponent : public CDllComp, public blto::CBlueSync {
  public:
    static constexpr const char* libraryFile = "libObexa.so";
    static constexpr std::chrono::milliseconds turnPause{81};
    static constexpr std::chrono::milliseconds radioLockWait{543};

    // Loads `library` (the object-push library; tests name another); loaded only when it has
    // getFileStatus1. A loaded library gets the operator's push settings at once.
    COppComponent(CJobListSyncMgr& jobs, CArrSyncMgr& newDevices,
                  const std::string& library = libraryFile);
    ~COppComponent() override;

    // Starts the dispatcher holding `radioLock` for the pushes; nothing when it runs already.
    void startDispatcher(platform::TimedMutex& radioLock);
    COppParms& counters() { return parms; }
    // Stops the dispatcher and waits until it and every push in flight have ended.
    void finishPushes();
    // How a pushed device is recorded as served; set it before the first push starts.
    void setServedRecorder(ServedRecorder recorder) { served = std::move(recorder); }

    // The library's exports, looked up at each call. A missing push export gives 0, a missing
    // status export -1 (and the component is no longer loaded).
    std::int32_t getFileStatus1(std::uint32_t low, std::uint32_t high, const std::string& type,
                                const std::string& name, const std::string& path);
    std::int32_t getFileStatusM(std::uint32_t low, std::uint32_t high, const std::string& type,
                                const std::string& name, const std::string& path);
    std::int32_t getFileStatus2();
    std::int32_t getFileStatusE();

    // After a push attempt: records the device as served and removes it from the new-device
    // queue, so that a sighting of it queued during the push is not pushed again.
    void recordServed(const blto::CBtAdWCounter& device);

  private:
    using RadioHold = std::unique_lock<platform::TimedMutex>;

    // Reads "obexpacket" and "answerwait" and hands them to the library (pushsettings.h).
    void handOverPushSettings();
    void dispatch();
    void turn(RadioHold& radio);
    void startWorker(std::unique_ptr<CSendJob> job, RadioHold& radio);
    std::int32_t push(const char* exportName, std::uint32_t low, std::uint32_t high,
                      const std::string& type, const std::string& name, const std::string& path);
    std::int32_t status(const char* exportName);

    CJobListSyncMgr& jobs;
    CArrSyncMgr& newDevices;
    ServedRecorder served;
    COppParms parms;
    // Outcomes not yet added to the counters (their lock was busy).
    int pendingSuccesses = 0;
    int pendingFailures = 0;
    // Declared last: destroyed (each push joined) before the counters and the bindings go.
    COppSendMgr workers;
};

}  // namespace btsend
