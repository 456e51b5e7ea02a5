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
        center->checkRadio();
    }
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
