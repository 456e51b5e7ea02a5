#include "rangetestpush.h"

#include <mutex>
#include <typeinfo>

#include "campaigns/campaign.h"
#include "sending/pushcomponent.h"
#include "support/logentry.h"

namespace btsend {

CRTOppComp::CRTOppComp(CJobListSyncMgr& jobs, COppComponent& pushComponent)
    : jobs(jobs), pushComponent(pushComponent) {}

CRTOppComp::~CRTOppComp() {
    stopAndJoin();
}

void CRTOppComp::startPushing(platform::TimedMutex& radioLock) {
    if (start(&radioLock)) {
        launch([this] { run(); });
    }
}

void CRTOppComp::run() {
    try {
        while (keepRunning()) {
            std::unique_ptr<CSendJob> job = jobs.takeNext();
            if (!job) {
                pause(idlePause);
                continue;
            }
            // A job whose test picture went missing after it was queued is dropped unpushed.
            if (job->campaign().isSendable()) {
                serve(*job);
            }
            job.reset();
            pause(jobPause);
        }
    } catch (const campag::CCampaignException&) {
        support::logError("opp campaign", support::typeTag(this));
        stop();
    } catch (const std::bad_typeid&) {
        support::logError("bad_typeid", support::typeTag(this));
        stop();
    } catch (...) {
        support::logError("opp_elipsis", support::typeTag(this));
        stop();
    }
}

void CRTOppComp::serve(const CSendJob& job) {
    std::unique_lock<platform::TimedMutex> radio(*lockForRadio(), std::defer_lock);
    if (!radio.try_lock_for(radioLockWait)) {
        return;  // not pushed; the device stays unserved
    }
    const campag::CCampaign& campaign = job.campaign();
    const std::string path = campaign.getMediaFilePath();
    const std::string name = campaign.getSendFileName();
    const std::string type = campaign.getMimeType();
    const int packetCount =
        pushComponent.getFileStatus1(job.addressLow(), job.addressHigh(), type, name, path);
    const int lastAnswered = pushComponent.getFileStatusE();
    radio.unlock();
    if (isDelivered(packetCount, lastAnswered)) {
        ++pendingSuccesses;
    } else {
        ++pendingFailures;
    }
    if (pushComponent.counters().addOutcomes(pendingSuccesses, pendingFailures)) {
        pendingSuccesses = 0;
        pendingFailures = 0;
    }
    pushComponent.recordServed(job.device());
}

}  // namespace btsend
