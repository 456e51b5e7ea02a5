#pragma once
// The length of the scanner's next inquiry, in units of 1.28 s. Finding devices shortens the
// next inquiry by one unit per device, an empty inquiry lengthens it by one unit, always within
// 4 to 10 units. The scanner adjusts it; the main window reads it, hence its own lock.

#include <chrono>
#include <cstdint>

#include "platform/timedmutex.h"

class CInquiryLength {
  public:
    static constexpr std::chrono::milliseconds lockWait{555};
    static constexpr std::int16_t startLength = 5;
    static constexpr std::int16_t maximum = 10;
    static constexpr std::int16_t minimum = 4;

    // The current length; 0 when the lock is not had in time.
    std::int16_t get();
    // Shortens the length by `found` units, or lengthens it by one when nothing was found;
    // nothing happens when the lock is not had in time.
    void adjust(int found);

    // The lock itself, so tests can hold it.
    platform::TimedMutex& lockForTest() { return lock; }

  private:
    platform::TimedMutex lock;
    std::int16_t current = startLength;
};
