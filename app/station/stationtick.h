#pragma once
// What the station does every 2200 ms while it runs, with or without a window: the device
// memory's maintenance tick, a radio check, and every 78th tick a re-evaluation of the workers
// so that campaign periods that start or end take effect.

#include <chrono>
#include <optional>
#include <string>

class CStationTick {
  public:
    static constexpr std::chrono::milliseconds interval{2200};
    static constexpr int ticksPerApply = 78;

    void tick();
    // One line for an operator's console: the worker status and the counters.
    std::string statusLine() const;
    // A line for an operator's console when the last tick found the radio gone or back, or
    // found none at the first tick; empty otherwise. Nothing else says why a station without
    // a radio serves nobody.
    std::string radioChange() const;

  private:
    int ticksSinceApply = 0;
    int remembered = 0;               // as the last tick's maintenance call counted it
    std::optional<bool> radioBefore;  // as the tick before the last found it
    std::optional<bool> radioNow;     // as the last tick found it
};
