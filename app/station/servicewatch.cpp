#include "servicewatch.h"

#include <cstdio>

#include "app/station/nyvexapp.h"
#include "app/station/threadcenter.h"
#include "platform/service.h"

namespace {
void sayOnConsole(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}
}  // namespace

CServiceWatch::CServiceWatch(BusySource longestBusy)
    : longestBusy(std::move(longestBusy)), watchdog(platform::service::watchdogInterval()) {}

void CServiceWatch::ready() {
    platform::service::notify("READY=1\nSTATUS=started");
}

void CServiceWatch::tick() {
    const auto busy = longestBusy();
    const bool nowHealthy = busy < hangLimit;
    if (nowHealthy != healthy) {
        healthy = nowHealthy;
        const std::string seconds =
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(busy).count());
        const std::string line =
            healthy ? "Nyvex: every worker comes to its pauses again; the watchdog is fed again."
                    : "Nyvex: a worker has been at work for " + seconds +
                          " s without a pause and hangs; the watchdog is no longer fed.";
        std::fprintf(stderr, "%s\n", line.c_str());
        std::fflush(stderr);
        platform::service::notify("STATUS=" + line);
    }
    if (healthy && watchdog) {
        platform::service::notify("WATCHDOG=1");
    }
}

void CServiceWatch::status(const std::string& line) {
    platform::service::notify("STATUS=" + line);
}

void CServiceWatch::stopping() {
    platform::service::notify("STOPPING=1\nSTATUS=stopping");
    CThreadCenter* center = theApp().threadCenter();
    const int pushes = center != nullptr ? center->sender()->counters().getActive() : 0;
    if (pushes > 0) {
        sayOnConsole("Nyvex stopping: waiting for " + std::to_string(pushes) +
                     (pushes == 1 ? " push" : " pushes") + " in flight to end.");
    }
}
