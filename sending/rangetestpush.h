#pragma once
// The range test's push path: one thread that pushes the range-test jobs one after the other,
// taking the radio lock around each push only, and counts each outcome into the station's
// counters. A push counts as successful only when the phone answered every packet of an object
// that was actually sent (a file that did not open sends nothing).

#include <chrono>

#include "sending/lockedjoblist.h"
#include "worker/workerbase.h"

namespace btsend {

class COppComponent;

class CRTOppComp : public blto::CBlueSync {
  public:
    static constexpr std::chrono::milliseconds idlePause{322};
    static constexpr std::chrono::milliseconds jobPause{10};
    static constexpr std::chrono::milliseconds radioLockWait{4559};

    CRTOppComp(CJobListSyncMgr& jobs, COppComponent& pushComponent);
    ~CRTOppComp() override;

    // Starts the thread with `radioLock`; nothing when it runs already.
    void startPushing(platform::TimedMutex& radioLock);

    // Delivered: the packet count of a real object, all of it answered.
    static bool isDelivered(int packetCount, int lastAnswered) {
        return packetCount == lastAnswered && packetCount > 0;
    }

  private:
    void run();
    void serve(const CSendJob& job);

    CJobListSyncMgr& jobs;
    COppComponent& pushComponent;
    // Outcomes not yet added to the counters (their lock was busy).
    int pendingSuccesses = 0;
    int pendingFailures = 0;
};

}  // namespace btsend
