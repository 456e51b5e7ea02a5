#include "jobmachine.h"

#include <algorithm>

#include "campaigns/campaignexception.h"
#include "sending/sender.h"
#include "support/logentry.h"

namespace btsend {

CJobMachine::CJobMachine(CArrSyncMgr& newDevices, CBtSender& sender)
    : newDevices(newDevices), sender(sender) {}

CJobMachine::~CJobMachine() {
    stopAndJoin();
}

void CJobMachine::start() {
    if (CBlueSync::start(nullptr)) {
        launch([this] { run(); });
    }
}

std::chrono::milliseconds CJobMachine::pauseAfter(int queued) {
    return std::chrono::milliseconds(400) * std::max(queued + 1, 0);
}

void CJobMachine::run() {
    try {
        while (keepRunning()) {
            CArrSyncMgr::Sighting device = newDevices.takeLast();
            if (!device) {
                pause(idlePause);
                continue;
            }
            pause(pauseAfter(sender.queueSighting(std::move(device))));
        }
    } catch (const campag::CCampaignException&) {
        support::logError("job mach campaign", support::typeTag(this));
        stop();
    } catch (...) {
        support::logError("job machine elip", support::typeTag(this));
        stop();
    }
}

}  // namespace btsend
