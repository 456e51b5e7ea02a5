#include "sender.h"

#include "campaigns/campaignmgr.h"

namespace btsend {

CBtSender::CBtSender(platform::TimedMutex& radioLock, CArrSyncMgr& newDevices,
                     CampaignSource campaigns, const std::string& pushLibrary)
    : radioLock(radioLock),
      campaigns(std::move(campaigns)),
      pushComponent(std::make_unique<COppComponent>(jobs, newDevices, pushLibrary)) {}

CBtSender::~CBtSender() {
    // The range-test thread uses the push component: it goes first.
    rangeTest.reset();
    pushComponent.reset();
}

void CBtSender::finishAll() {
    rangeTest.reset();
    pushComponent->finishPushes();
}

std::int32_t CBtSender::queueSighting(std::unique_ptr<blto::CBtAdWCounter> device) {
    campag::CCampaignMgr* manager = campaigns ? campaigns() : nullptr;
    campag::CCampaign* campaign = manager ? manager->chooseCampaign() : nullptr;
    if (campaign == nullptr || !device) {
        return 0;
    }
    return jobs.addUnique(std::make_unique<CSendJob>(*device, *campaign, false));
}

std::int32_t CBtSender::queueRangeTest(std::unique_ptr<blto::CBtAdWCounter> device) {
    if (!device) {
        return 5;
    }
    campag::CCampaignMgr* manager = campaigns ? campaigns() : nullptr;
    campag::CCampaign* campaign = manager ? manager->getRangeTestCampaign() : nullptr;
    if (campaign == nullptr) {
        return 2;
    }
    // The job keeps its own copy: the manager gives its range-test campaign a new random name at
    // every test and drops it when the picture goes missing.
    auto job = std::make_unique<CSendJob>(*device, *campaign, true);
    if (jobs.add(job) == 0) {
        return 5;
    }
    if (!rangeTest) {
        rangeTest = std::make_unique<CRTOppComp>(jobs, *pushComponent);
    }
    rangeTest->startPushing(radioLock);
    return 0;
}

bool CBtSender::isReady() {
    ready = pushComponent->isLoaded();
    return ready;
}

void CBtSender::startPush() {
    if (rangeTest) {
        rangeTest->stop();
    }
    pushComponent->startDispatcher(radioLock);
}

bool CBtSender::isRangeTestRunning() {
    if (!rangeTest) {
        return false;
    }
    if (rangeTest->isRunning()) {
        return true;
    }
    rangeTest.reset();
    return false;
}

void CBtSender::setOutcomeRecorder(OutcomeRecorder recorder) {
    pushComponent->setOutcomeRecorder(std::move(recorder));
}

void CBtSender::setServedRecorder(ServedRecorder recorder) {
    pushComponent->setServedRecorder(std::move(recorder));
}

}  // namespace btsend
