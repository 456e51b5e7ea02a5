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

    // Whether each tick also counts the radios: the headless station has no other way to
    // notice radios that come and go; the window has notices of its own.
    enum class RadioCheck { everyTick, never };

    explicit CStationTick(RadioCheck radioCheck = RadioCheck::everyTick) : radioCheck(radioCheck) {}

    void tick();
    // The number of remembered devices as the last tick's maintenance call counted it.
    int rememberedDevices() const { return remembered; }
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

    RadioCheck radioCheck;
    int ticksSinceApply = 0;
    int remembered = 0;  // as the last tick's maintenance call counted it
    Observed radio;
    Observed sending;  // looked at only while a radio and the push library are there
};
