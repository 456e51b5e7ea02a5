#include "rangetestpush.h"

#include <mutex>
#include <optional>
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
    const platform::TimePoint started = platform::now();
    const campag::CCampaign& campaign = job.campaign();
    const std::string path = campaign.getMediaFilePath();
    const std::string name = campaign.getSendFileName();
    const std::string type = campaign.getMimeType();
    const int packetCount =
        pushComponent.getFileStatus1(job.addressLow(), job.addressHigh(), type, name, path);
    // Read on this thread, before the push is ended.
    const std::optional<ObexaPushReport> report = pushComponent.getPushReport();
    const int lastAnswered = pushComponent.getFileStatusE();
    radio.unlock();
    const bool delivered = isDelivered(packetCount, lastAnswered);
    if (delivered) {
        ++pendingSuccesses;
    } else {
        ++pendingFailures;
    }
    if (pushComponent.counters().addOutcomes(pendingSuccesses, pendingFailures)) {
        pendingSuccesses = 0;
        pendingFailures = 0;
    }
    pushComponent.recordServed(job.device());
    pushComponent.recordOutcome(
        PushOutcome{PushKind::rangeTest, job.device(), campaign.getValue4Key("campaname"), name,
                    started, report.value_or(reportFromResult(delivered)), delivered});
}

}  // namespace btsend
