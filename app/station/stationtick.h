#pragma once
// What the station does every 2200 ms while it runs, with or without a window: the device
// memory's maintenance tick, a radio check, and every 78th tick a re-evaluation of the workers
// so that campaign periods that start or end take effect.

#include <chrono>
#include <string>

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

  private:
    RadioCheck radioCheck;
    int ticksSinceApply = 0;
    int remembered = 0;  // as the last tick's maintenance call counted it
};
