#pragma once
// The headless station under a service manager (systemd's Type=notify): tells it when the
// station is ready, pings its watchdog every tick while the station is healthy, hands it the
// status line and says when the station stops. Without a service manager nothing is sent.
//
// Healthy means that the tick ran (the loop that calls tick() is alive) and that no worker has
// been at work for hangLimit without coming to one of its pauses: a pass of any worker takes
// seconds (the longest, an inquiry, at most 13 s with the radio), so a worker at work for
// minutes hangs. The pings then stop and the service manager restarts the station. A worker
// that is not running is not a fault: the thread center decides which workers run.

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "worker/workerbase.h"

class CServiceWatch {
  public:
    static constexpr std::chrono::seconds hangLimit{180};
    using BusySource = std::function<blto::CBlueSync::Clock::duration()>;

    explicit CServiceWatch(BusySource longestBusy = &blto::CBlueSync::longestBusy);

    // Start-up is done and the loop begins.
    void ready();
    // Once per tick of the loop: a watchdog ping while healthy, one line when that changes.
    void tick();
    // The loop's status line, shown by `systemctl status`.
    void status(const std::string& line);
    // The loop ended on a stop signal; says how many pushes in flight shutdown waits for.
    void stopping();

    bool isHealthy() const { return healthy; }

  private:
    BusySource longestBusy;
    std::optional<std::chrono::microseconds> watchdog;
    bool healthy = true;
};
