#pragma once
// The push side of the station: the job list, the normal push component and, from the first
// range-test job on, the range-test push component. The job machine and the range test queue
// jobs here; the thread center starts and stops the pushing.

#include <cstdint>
#include <memory>
#include <string>

#include "discovery/arrsyncmgr.h"
#include "sending/joblistsyncmgr.h"
#include "sending/oppcomponent.h"
#include "sending/rtoppcomp.h"

namespace btsend {

class CBtSender {
  public:
    // `radioLock` is the discovery front's; `newDevices` the queue pushed devices leave.
    // `pushLibrary` names the object-push library (tests load another one).
    CBtSender(platform::TimedMutex& radioLock, CArrSyncMgr& newDevices,
              const std::string& pushLibrary = COppComponent::libraryFile);
    virtual ~CBtSender();
    CBtSender(const CBtSender&) = delete;
    CBtSender& operator=(const CBtSender&) = delete;

    // A job for `device` with the campaign to send now: 0 when there is none or the same job
    // waits already, 1-5 the number of jobs now queued, -1 when the list was busy.
    virtual std::int32_t queueSighting(std::unique_ptr<blto::CBtAdWCounter> device);
    // A range-test job (duplicates allowed), then the range-test pushing is started: 0 queued,
    // 5 the list was busy, 2 no usable range-test campaign.
    std::int32_t queueRangeTest(std::unique_ptr<blto::CBtAdWCounter> device);
    int jobCount() { return jobs.count(); }
    void clearJobs() { jobs.deleteAll(); }

    // The object-push library is bound.
    bool isReady();
    // Stops a range test, then starts the dispatcher.
    void startPush();
    void stopPush() { pushComponent->stop(); }
    bool isPushRunning() const { return pushComponent->isRunning(); }
    // Stops the range test and the dispatcher and waits until every push in flight has ended
    // (shutdown: each push records its device before the device memory is saved).
    void finishAll();
    // True while the range-test thread runs; a range-test component whose thread ended is
    // destroyed here.
    bool isRangeTestRunning();
    COppParms& counters() { return pushComponent->counters(); }

    // How a pushed device is recorded as served unless replaced: in the application's back
    // office, when there is one.
    static void recordInBackOffice(const blto::CBtAdWCounter& device);
    // Replaces how a pushed device is recorded as served; call it before startPush.
    void setServedRecorder(ServedRecorder recorder);
    CJobListSyncMgr& jobList() { return jobs; }

  private:
    static std::unique_ptr<campag::CCampaign> snapshotOf(const campag::CCampaign& rangeTest);

    platform::TimedMutex& radioLock;
    // Declared before the components, so it outlives their threads.
    CJobListSyncMgr jobs;
    std::unique_ptr<COppComponent> pushComponent;
    std::unique_ptr<CRTOppComp> rangeTest;
    bool ready = false;
};

}  // namespace btsend
