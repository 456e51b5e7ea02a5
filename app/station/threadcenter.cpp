#include "threadcenter.h"

#include <algorithm>
#include <system_error>

#include "app/station/journalfeed.h"
#include "app/station/nyvexapp.h"
#include "backoffice/backoffice.h"
#include "campaigns/campaignmgr.h"
#include "support/logentry.h"

int CThreadState::applySwitches() {
    runScanner(scanOn);
    runBackOffice(backOfficeOn);
    runSender(senderOn);
    runJobMachine(jobMachineOn);
    return result;
}

CThreadCenter::CThreadCenter(const std::string& radioLibrary, const std::string& pushLibrary)
    : frontPart(std::make_unique<blto::CBtoh>(newDeviceQueue, radioLibrary)),
      senderPart(std::make_unique<btsend::CBtSender>(
          frontPart->radioLock(), newDeviceQueue, [] { return theApp().campaigns(); },
          pushLibrary)),
      jobMachinePart(std::make_unique<btsend::CJobMachine>(newDeviceQueue, *senderPart)) {
    radioPresent = true;
    // The workers reach the application's parts as they are at the moment they need them:
    // start-up creates the manufacturer table after the thread center, and shutdown deletes the
    // campaigns and the back office before it.
    frontPart->setManufacturers([] { return theApp().manufacturers(); });
    senderPart->setServedRecorder([](const blto::CBtAdWCounter& device) {
        if (backo::CBackOffice* office = theApp().backOffice()) {
            office->markServed(device);
        }
    });
    senderPart->setOutcomeRecorder([](const btsend::PushOutcome& outcome) {
        if (CJournalFeed* journal = theApp().journal()) {
            journal->record(outcome);
        }
    });
}

CThreadCenter::~CThreadCenter() {
    stopAll();
}

void CThreadCenter::stopAll() {
    if (auto* office = theApp().backOffice()) {
        office->stop();
    }
    jobMachinePart->stopAndJoin();
    senderPart->finishAll();
    frontPart->stopAndJoinScan();
    if (auto* office = theApp().backOffice()) {
        office->stopAndJoin();
    }
}

bool CThreadCenter::hasActiveCampaign() const {
    const auto* campaigns = theApp().campaigns();
    return campaigns != nullptr && campaigns->hasSendableNow();
}

void CThreadCenter::startAll() {
    if (!frontPart->isLoaded()) {
        return;
    }
    if (!frontPart->hasRadio() || !senderPart->isReady()) {
        if (noRadioNotice) {
            noRadioNotice();
        }
        return;
    }
    nameRadioInJournal();
    runScanner(true);
    if (hasActiveCampaign()) {
        runJobMachine(true);
        runSender(true);
        runBackOffice(true);
    }
}

int CThreadCenter::checkRadio() {
    const int radios = frontPart->countRadios();
    const bool present = radios > 0;
    if (present != radioPresent) {
        radioPresent = present;
        if (present) {
            nameRadioInJournal();
        }
        apply();
    }
    return radios;
}

// The journal records each push under the name of the radio it went through: named when the
// workers start and whenever a radio comes, before any worker uses it.
void CThreadCenter::nameRadioInJournal() {
    CJournalFeed* journal = theApp().journal();
    blto::CBTScanner1* scanner = frontPart->scanner();
    if (journal == nullptr || scanner == nullptr) {
        return;
    }
    if (const std::optional<std::string> name = scanner->radioName()) {
        journal->setRadio(*name);
    }
}

void CThreadCenter::pause(bool on) {
    backOfficeOn = !on;
    jobMachineOn = !on;
    senderOn = !on;
}

bool CThreadCenter::pauseAndWait() {
    pause(true);
    apply();
    const auto giveUp = std::chrono::steady_clock::now() + toolPauseWait;
    if (!jobMachinePart->waitUntilEnded(toolPauseWait)) {
        return false;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(giveUp - std::chrono::steady_clock::now());
    return senderPart->waitUntilPushStopped(std::max(left, std::chrono::milliseconds(0)));
}

void CThreadCenter::setScan(bool on) {
    scanOn = on;
    apply();
}

void CThreadCenter::stopAllButScanner() {
    runBackOffice(false);
    runSender(false);
    runJobMachine(false);
}

void CThreadCenter::apply() {
    if (!radioPresent) {
        stopAllButScanner();
        runScanner(false);
        return;
    }
    // With a radio the scanner follows its own switch, whatever else may run: a range test
    // that switched it off gets the radio to itself, and a radio plugged in again is scanned.
    runScanner(scanOn);
    // Without its push library the sender would record every device as served though nothing
    // was sent: it stays off, like the workers that feed it.
    if (!senderPart->isReady()) {
        stopAllButScanner();
        return;
    }
    if (checkCampaigns) {
        campaignActive = hasActiveCampaign();
        if (campaignActive) {
            applySwitches();
        } else {
            stopAllButScanner();
        }
    }
    if (applyOnChange) {
        applySwitches();
    }
}

void CThreadCenter::startWorker(const char* worker, const std::function<void()>& start) {
    try {
        start();
    } catch (const std::system_error& e) {
        theApp().logError(std::string(worker) + " not started: " + e.what(),
                          support::typeTag(this));
    }
}

void CThreadCenter::runScanner(bool on) {
    if (on) {
        startWorker("scanner", [this] { frontPart->startScan(); });
    } else {
        frontPart->stopScan();
    }
}

void CThreadCenter::runBackOffice(bool on) {
    auto* office = theApp().backOffice();
    if (office == nullptr) {
        return;
    }
    if (on) {
        startWorker("back office", [office] { office->start(); });
    } else {
        office->stop();
    }
}

void CThreadCenter::runSender(bool on) {
    if (on) {
        startWorker("sender", [this] { senderPart->startPush(); });
    } else {
        senderPart->stopPush();
    }
}

void CThreadCenter::runJobMachine(bool on) {
    if (on) {
        startWorker("job machine", [this] { jobMachinePart->start(); });
    } else {
        jobMachinePart->stop();
    }
}

std::string CThreadCenter::statusText() {
    const auto* office = theApp().backOffice();
    std::string text;
    text += frontPart->isScanRunning() ? "S" : "_";
    text += office != nullptr && office->isRunning() ? "B" : "_";
    text += jobMachinePart->isRunning() ? "J" : "_";
    text += senderPart->isRangeTestRunning() ? "R" : "_";
    text += senderPart->isPushRunning() ? "O" : "_";
    const int pushThreads = senderPart->counters().getActive();
    if (pushThreads > 0) {
        text += std::to_string(pushThreads);
    }
    return text;
}
