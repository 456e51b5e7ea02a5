#pragma once
// The worker that turns new devices into send jobs: it takes the newest device the back office
// passed on and hands it to the sender, then rests the longer the fuller the job list is, so
// devices are fed only as fast as the pushes drain the list.

#include <chrono>

#include "discovery/sightingqueue.h"
#include "worker/workerbase.h"

namespace btsend {

class CBtSender;

class CJobMachine : public blto::CBlueSync {
  public:
    static constexpr std::chrono::milliseconds idlePause{209};

    CJobMachine(CArrSyncMgr& newDevices, CBtSender& sender);
    ~CJobMachine() override;

    // Starts the worker; nothing when it runs already.
    void start();

    // The rest after the sender answered `queued`: (queued + 1) x 400 ms, none when the job
    // list was busy (-1).
    static std::chrono::milliseconds pauseAfter(int queued);

  private:
    void run();

    CArrSyncMgr& newDevices;
    CBtSender& sender;
};

}  // namespace btsend
