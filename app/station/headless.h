#pragma once
// The station without a window, for boxes without a screen and for tests: messages go to stderr,
// and instead of the main window a loop ticks the station every 2200 ms, prints a status line
// every 10 s, and on SIGTERM or SIGINT saves the device memory and lets start-up shut down.

#include <chrono>

#include "app/station/startup.h"

class CHeadlessUi : public CStationUi {
  public:
    static constexpr std::chrono::seconds statusInterval{10};

    // Blocks SIGTERM and SIGINT for the whole process; call before any thread starts, so that
    // only the loop receives them.
    static void blockStopSignals();

    void showMessage(const std::string& text, const std::string& title) override;
    void startupFailed(const std::string& report) override;
    void reportProblem(const std::string& text) override;
    int runMainWindow() override;
};
