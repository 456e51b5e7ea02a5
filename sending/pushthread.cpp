#include "pushthread.h"

#include "campaigns/campaign.h"
#include "sending/pushcomponent.h"
#include "support/logentry.h"

namespace btsend {

CBlueWinThread::CBlueWinThread(std::unique_ptr<CSendJob> job, COppComponent& component)
    : low(job->addressLow()), high(job->addressHigh()), job(std::move(job)), component(component) {}

CBlueWinThread::~CBlueWinThread() {
    if (thread.joinable()) {
        thread.join();
    }
}

void CBlueWinThread::start() {
    running = true;
    thread = std::thread([this] {
        push();
        running = false;
    });
}

void CBlueWinThread::push() {
    try {
        const campag::CCampaign& campaign = job->campaign();
        const std::string path = campaign.getMediaFilePath();
        const std::string name = campaign.getSendFileName();
        const std::string type = campaign.getMimeType();
        delivered = component.getFileStatusM(low, high, type, name, path) == 1;
        // Served whatever the outcome: a phone that refused is left alone like one that took it.
        component.recordServed(job->device());
    } catch (...) {
        delivered = false;
        support::logError("snd1_elipsis", support::typeTag(this));
    }
    job.reset();
}

}  // namespace btsend
