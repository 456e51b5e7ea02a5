#include "headless.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "app/station/servicewatch.h"
#include "app/station/stationtick.h"
#include "backoffice/backoffice.h"
#include "support/errlog.h"

namespace {
sigset_t stopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

// Waits up to `wait` for a stop signal; true when one came.
bool stopSignalWithin(std::chrono::milliseconds wait) {
    const sigset_t signals = stopSignals();
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(wait.count() / 1000);
    timeout.tv_nsec = static_cast<long>(wait.count() % 1000) * 1000000L;
    for (;;) {
        const int signal = sigtimedwait(&signals, nullptr, &timeout);
        if (signal >= 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}
}  // namespace

void CHeadlessUi::blockStopSignals() {
    const sigset_t signals = stopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void CHeadlessUi::showMessage(const std::string& text, const std::string& title) {
    showOnConsole(text, title);
}

void CHeadlessUi::startupFailed(const std::string& report) {
    showOnConsole(
        "start-up failed: " + report + " (see the error log " + CErrLog1::logFileName() + ")",
        "Nyvex");
}

void CHeadlessUi::reportProblem(const std::string& text) {
    showOnConsole(text, "Nyvex");
}

int CHeadlessUi::runMainWindow() {
    CStationTick ticker;
    CServiceWatch service;
    auto nextStatus = std::chrono::steady_clock::now();
    std::printf("Nyvex running headless; SIGTERM or Ctrl-C stops it.\n");
    std::fflush(stdout);
    service.ready();
    while (!stopSignalWithin(CStationTick::interval)) {
        ticker.tick();
        service.tick();
        for (const std::string& change : ticker.changes()) {
            std::fprintf(stderr, "%s\n", change.c_str());
            std::fflush(stderr);
            service.status(change);
        }
        if (std::chrono::steady_clock::now() >= nextStatus) {
            nextStatus += statusInterval;
            const std::string line = ticker.statusLine();
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            service.status(line);
        }
    }
    service.stopping();
    auto* office = theApp().backOffice();
    const bool saved = office == nullptr || office->save();
    std::printf(saved ? "Nyvex stopping: device memory saved.\n"
                      : "Nyvex stopping: the device memory could not be saved now (see the error "
                        "log); it is tried again at shutdown.\n");
    std::fflush(stdout);
    return 2;  // like closing the window: start-up shuts down
}
