#pragma once
// The push counters the main window and the status line show: failed pushes, successful pushes
// and push workers in flight. Kept for the life of the program, not saved. Every access waits
// for the counters' lock at most 555 ms: a getter then gives 0, a setter changes nothing.

#include <chrono>
#include <cstdint>

#include "platform/timedmutex.h"

namespace btsend {

class COppParms {
  public:
    static constexpr std::chrono::milliseconds lockWait{555};

    COppParms() = default;
    virtual ~COppParms() = default;
    COppParms(const COppParms&) = delete;
    COppParms& operator=(const COppParms&) = delete;

    std::int32_t getFailed();
    std::int32_t getSuccessful();
    std::int32_t getActive();
    void setFailed(std::int32_t value);
    void setSuccessful(std::int32_t value);
    void setActive(std::int32_t value);
    // Adds outcomes under one lock, so the dispatcher and the range-test thread never write
    // back stale totals over each other's counts. False (nothing added) when the lock was busy.
    bool addOutcomes(std::int32_t successes, std::int32_t failures);

  private:
    std::int32_t read(const std::int32_t& counter);
    void write(std::int32_t& counter, std::int32_t value);

    platform::TimedMutex lock;
    std::int32_t failed = 0;
    std::int32_t successful = 0;
    std::int32_t active = 0;
};

}  // namespace btsend
