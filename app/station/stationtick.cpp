#include "stationtick.h"

#include "app/station/nyvexapp.h"
#include "app/station/threadcenter.h"
#include "backoffice/backoffice.h"

void CStationTick::tick() {
    CThreadCenter* center = theApp().threadCenter();
    if (++ticksSinceApply >= ticksPerApply) {
        ticksSinceApply = 0;
        if (center != nullptr) {
            center->apply();
        }
    }
    if (auto* office = theApp().backOffice()) {
        remembered = office->rememberedCount();
    }
    // Without device-change notices, radios that come and go are found by asking each tick.
    if (center != nullptr && radioCheck == RadioCheck::everyTick) {
        const bool radioThere = center->checkRadio() > 0;
        radio.set(radioThere);
        // With a radio and the push library, the thread center runs the job machine exactly
        // while a campaign is active.
        const bool canSend = radioThere && center->sender()->isReady();
        sending.set(canSend ? std::optional<bool>(center->jobMachine().isRunning()) : std::nullopt);
    }
}

std::vector<std::string> CStationTick::changes() const {
    std::vector<std::string> lines;
    if (radio.changed()) {
        if (!*radio.now) {
            lines.push_back(radio.before
                                ? "Nyvex: the radio is gone; the station waits for it to come back."
                                : "Nyvex: no radio; the station waits for one and serves nobody "
                                  "until it is there.");
        } else if (radio.before) {
            lines.push_back("Nyvex: a radio is there; the station works.");
        }
    }
    if (sending.changed()) {
        if (!*sending.now) {
            lines.push_back(
                "Nyvex: no campaign is active now; the station finds phones but sends nothing.");
        } else if (sending.before) {
            lines.push_back("Nyvex: a campaign is active; the station sends again.");
        }
    }
    return lines;
}

std::string CStationTick::statusLine() const {
    CThreadCenter* center = theApp().threadCenter();
    if (center == nullptr) {
        return "not started";
    }
    auto& counters = center->sender()->counters();
    return center->statusText() + " found " + std::to_string(center->front()->sightingCount()) +
           " new " + std::to_string(center->newDevices().count()) + " jobs " +
           std::to_string(center->sender()->jobCount()) + " sent " +
           std::to_string(counters.getSuccessful()) + " failed " +
           std::to_string(counters.getFailed()) + " remembered " + std::to_string(remembered);
}
