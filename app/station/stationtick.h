#pragma once
// What the station does every 2200 ms while it runs, with or without a window: the device
// memory's maintenance tick, a radio check, and every 78th tick a re-evaluation of the workers
// so that campaign periods that start or end take effect.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class CStationTick {
  public:
    static constexpr std::chrono::milliseconds interval{2200};
    static constexpr int ticksPerApply = 78;

    void tick();
    // One line for an operator's console: the worker status and the counters.
    std::string statusLine() const;
    // Lines for an operator's console about what changed at the last tick: the radio gone or
    // back (or none at the first tick), sending stopped for want of an active campaign or
    // going again. Nothing else says why a running station serves nobody.
    std::vector<std::string> changes() const;

  private:
    // A condition as the last two ticks found it; nothing while it was not looked at.
    struct Observed {
        std::optional<bool> before;
        std::optional<bool> now;
        void set(std::optional<bool> value) {
            before = now;
            now = value;
        }
        bool changed() const { return now.has_value() && now != before; }
    };

    int ticksSinceApply = 0;
    int remembered = 0;  // as the last tick's maintenance call counted it
    Observed radio;
    Observed sending;  // looked at only while a radio and the push library are there
};
