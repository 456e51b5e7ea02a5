#pragma once
// The normal push path: binds the object-push library and runs the dispatcher, which takes the
// newest job, holds the radio lock on behalf of every push in flight and starts one worker
// thread per push. The radio lock is released on the first turn that finds no worker running,
// so the scanner inquires only while nothing is pushed.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "binding/librarybinding.h"
#include "discovery/sightingqueue.h"
#include "libs/include/obexa.h"
#include "sending/lockedjoblist.h"
#include "sending/pushcounters.h"
#include "sending/pushoutcome.h"
#include "sending/pushthreadlist.h"
#include "worker/workerbase.h"

namespace btsend {

// Records a device as served in the device memory.
using ServedRecorder = std::function<void(const blto::CBtAdWCounter&)>;

// What a library without push reports tells about a push: whether it was delivered, nothing
// more.
ObexaPushReport reportFromResult(bool delivered);

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
    // Where the outcome of every push goes, the range test's included; set it before the first
    // push starts.
    void setOutcomeRecorder(OutcomeRecorder recorder) { outcomes = std::move(recorder); }
    CPushesInFlight& pushesInFlight() { return inFlight; }

    // The library's exports, looked up at each call. A missing push export gives 0, a missing
    // status export -1 (and the component is no longer loaded).
    std::int32_t getFileStatus1(std::uint32_t low, std::uint32_t high, const std::string& type,
                                const std::string& name, const std::string& path);
    std::int32_t getFileStatusM(std::uint32_t low, std::uint32_t high, const std::string& type,
                                const std::string& name, const std::string& path);
    std::int32_t getFileStatus2();
    std::int32_t getFileStatusE();
    // The report exports, which older libraries lack: such a library still pushes, without
    // progress, and the component stays loaded.
    void setPushProgress(ObexaProgressFunction progress, void* context);
    // The report of the calling thread's last push; nothing when the library gives none.
    std::optional<ObexaPushReport> getPushReport();

    // Hands the outcome to the recorder. Nothing the recorder throws reaches the push thread;
    // the first failure is logged.
    void recordOutcome(const PushOutcome& outcome) noexcept;

    // After a push attempt: records the device as served and removes it from the new-device
    // queue, so that a sighting of it queued during the push is not pushed again.
    void recordServed(const blto::CBtAdWCounter& device);

  private:
    using RadioHold = std::unique_lock<platform::TimedMutex>;

    // Reads "obexpacket" and "answerwait" and hands them to the library (pushsettings.h).
    void handOverPushSettings();
    void reportRecorderFailure() noexcept;
    void dispatch();
    void turn(RadioHold& radio);
    void startWorker(std::unique_ptr<CSendJob> job, RadioHold& radio);
    std::int32_t push(const char* exportName, std::uint32_t low, std::uint32_t high,
                      const std::string& type, const std::string& name, const std::string& path);
    std::int32_t status(const char* exportName);

    CJobListSyncMgr& jobs;
    CArrSyncMgr& newDevices;
    ServedRecorder served;
    OutcomeRecorder outcomes;
    std::atomic<bool> recorderFailureLogged{false};
    COppParms parms;
    // Outlives the workers, which add themselves to it.
    CPushesInFlight inFlight;
    // Outcomes not yet added to the counters (their lock was busy).
    int pendingSuccesses = 0;
    int pendingFailures = 0;
    // Declared last: destroyed (each push joined) before the counters and the bindings go.
    COppSendMgr workers;
};

}  // namespace btsend
