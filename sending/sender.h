#pragma once
// The push side of the station: the job list, the normal push component and, from the first
// range-test job on, the range-test push component. The job machine and the range test queue
// jobs here; the thread center starts and stops the pushing.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "discovery/sightingqueue.h"
#include "sending/lockedjoblist.h"
#include "sending/pushcomponent.h"
#include "sending/rangetestpush.h"

namespace campag {
class CCampaignMgr;
}

namespace btsend {

// Where the sender finds the campaign manager when it needs one; null while there is none.
using CampaignSource = std::function<campag::CCampaignMgr*()>;

class CBtSender {
  public:
    // `radioLock` is the discovery front's; `newDevices` the queue pushed devices leave;
    // `campaigns` gives the campaigns to send. `pushLibrary` names the object-push library
    // (tests load another one).
    CBtSender(platform::TimedMutex& radioLock, CArrSyncMgr& newDevices, CampaignSource campaigns,
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
    // After stopPush: waits at most `limit` until the dispatcher has ended its last turn; true
    // when it has. Pushes in flight go on.
    bool waitUntilPushStopped(std::chrono::milliseconds limit) const {
        return pushComponent->waitUntilEnded(limit);
    }
    // Stops the range test and the dispatcher and waits until every push in flight has ended
    // (shutdown: each push records its device before the device memory is saved).
    void finishAll();
    // True while the range-test thread runs; a range-test component whose thread ended is
    // destroyed here.
    bool isRangeTestRunning();
    COppParms& counters() { return pushComponent->counters(); }

    // How a pushed device is recorded as served (the thread center records it in the back
    // office); nothing is recorded until it is set. Call it before startPush.
    void setServedRecorder(ServedRecorder recorder);
    // Where the outcome of every push goes, normal and range-test pushes alike (the range-test
    // component reports through the push component). Call it before startPush.
    void setOutcomeRecorder(OutcomeRecorder recorder);
    // The pushes running now, for the main window.
    CPushesInFlight& pushesInFlight() { return pushComponent->pushesInFlight(); }
    CJobListSyncMgr& jobList() { return jobs; }

  private:
    platform::TimedMutex& radioLock;
    CampaignSource campaigns;
    // Declared before the components, so it outlives their threads.
    CJobListSyncMgr jobs;
    std::unique_ptr<COppComponent> pushComponent;
    std::unique_ptr<CRTOppComp> rangeTest;
    // The answer of the last isReady(), the sender's own record that its push library is bound.
    // Nothing reads it back: every caller asks isReady(), which looks at the library afresh.
    bool ready = false;
};

}  // namespace btsend
