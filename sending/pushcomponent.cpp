#include "pushcomponent.h"

#include "config/configstore.h"
#include "libs/include/obexa.h"
#include "platform/text.h"
#include "sending/pushsettings.h"
#include "support/logentry.h"

#include <type_traits>

namespace btsend {

ObexaPushReport reportFromResult(bool delivered) {
    ObexaPushReport report{};
    report.outcome = delivered ? obexaDelivered : obexaConnectionFailed;
    return report;
}

COppComponent::COppComponent(CJobListSyncMgr& jobs, CArrSyncMgr& newDevices,
                             const std::string& library)
    : CDllComp(library, {"getFileStatus1"}), jobs(jobs), newDevices(newDevices) {
    if (isLoaded()) {
        handOverPushSettings();
    }
}

void COppComponent::handOverPushSettings() {
    if (config::current() == nullptr) {
        return;  // no settings to read: the library keeps its defaults
    }
    const PushSettings settings = readPushSettings(
        config::configCopy(),
        [this](const std::string& problem) { support::logError(problem, support::typeTag(this)); });
    using Setter = std::remove_pointer_t<ObexaSettingFunction>;
    if (auto* setPacket = exportNamed<Setter>("setObexPacket")) {
        setPacket(settings.packetLength);
    }
    if (auto* setWait = exportNamed<Setter>("setAnswerWait")) {
        setWait(settings.answerWait);
    }
}

COppComponent::~COppComponent() {
    stopAndJoin();
}

void COppComponent::finishPushes() {
    stopAndJoin();
    workers.clear();
}

void COppComponent::startDispatcher(platform::TimedMutex& radioLock) {
    if (start(&radioLock)) {
        launch([this] { dispatch(); });
    }
}

void COppComponent::dispatch() {
    try {
        RadioHold radio(*lockForRadio(), std::defer_lock);
        do {
            turn(radio);
        } while (pause(turnPause));
    } catch (...) {
        support::logError("opp_elipsis", support::typeTag(this));
        stop();
    }
}

void COppComponent::turn(RadioHold& radio) {
    parms.setActive(workers.count());
    const bool busy = workers.collect(pendingSuccesses, pendingFailures);
    if (!busy && radio.owns_lock()) {
        radio.unlock();
    }
    if (parms.addOutcomes(pendingSuccesses, pendingFailures)) {
        pendingSuccesses = 0;
        pendingFailures = 0;
    }
    std::unique_ptr<CSendJob> job = jobs.takeNext();
    // A second job for a device whose push is still in the list is dropped.
    if (job && !workers.hasDevice(job->addressLow(), job->addressHigh())) {
        startWorker(std::move(job), radio);
    }
}

void COppComponent::startWorker(std::unique_ptr<CSendJob> job, RadioHold& radio) {
    if (!radio.owns_lock() && !radio.try_lock_for(radioLockWait)) {
        return;  // the job is dropped; the device stays unserved and can come back
    }
    auto worker = std::make_unique<CBlueWinThread>(std::move(job), *this);
    worker->start();
    workers.add(std::move(worker));
}

void COppComponent::recordServed(const blto::CBtAdWCounter& device) {
    if (served) {
        served(device);
    }
    if (device.record() != nullptr) {
        newDevices.removeDevice(*device.record());
    }
}

std::int32_t COppComponent::push(const char* exportName, std::uint32_t low, std::uint32_t high,
                                 const std::string& type, const std::string& name,
                                 const std::string& path) {
    auto* pushFile = exportNamed<std::remove_pointer_t<ObexaPushFunction>>(exportName);
    if (pushFile == nullptr) {
        return 0;
    }
    const std::u16string wideName = platform::toUtf16(name);
    const std::u16string widePath = platform::toUtf16(path);
    return pushFile(low, high, type.c_str(), wideName.c_str(), widePath.c_str());
}

std::int32_t COppComponent::status(const char* exportName) {
    auto* read = exportNamed<std::remove_pointer_t<ObexaStatusFunction>>(exportName);
    return read ? read() : -1;
}

std::int32_t COppComponent::getFileStatus1(std::uint32_t low, std::uint32_t high,
                                           const std::string& type, const std::string& name,
                                           const std::string& path) {
    return push("getFileStatus1", low, high, type, name, path);
}

std::int32_t COppComponent::getFileStatusM(std::uint32_t low, std::uint32_t high,
                                           const std::string& type, const std::string& name,
                                           const std::string& path) {
    return push("getFileStatusM", low, high, type, name, path);
}

std::int32_t COppComponent::getFileStatus2() {
    return status("getFileStatus2");
}

std::int32_t COppComponent::getFileStatusE() {
    return status("getFileStatusE");
}

void COppComponent::setPushProgress(ObexaProgressFunction progress, void* context) {
    using SetProgress = std::remove_pointer_t<ObexaSetProgressFunction>;
    if (auto* set = optionalExport<SetProgress>("setPushProgress")) {
        set(progress, context);
    }
}

std::optional<ObexaPushReport> COppComponent::getPushReport() {
    auto* read = optionalExport<std::remove_pointer_t<ObexaReportFunction>>("getPushReport");
    ObexaPushReport report{};
    if (read == nullptr || read(&report) != 0) {
        return std::nullopt;
    }
    return report;
}

void COppComponent::recordOutcome(const PushOutcome& outcome) noexcept {
    try {
        if (outcomes) {
            outcomes(outcome);
        }
    } catch (...) {
        reportRecorderFailure();
    }
}

// Once: a recorder that fails, fails for every push.
void COppComponent::reportRecorderFailure() noexcept {
    if (recorderFailureLogged.exchange(true)) {
        return;
    }
    try {
        support::logError("push outcome not recorded", support::typeTag(this));
    } catch (...) {
        return;  // the outcome is lost either way; the push goes on
    }
}

}  // namespace btsend
