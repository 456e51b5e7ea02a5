#pragma once
// A lock wait with a time-out. The deadline is taken on the system clock: libstdc++ waits for
// it with pthread_mutex_timedlock, which ThreadSanitizer follows, whereas a steady-clock wait
// (what try_lock_for uses) goes through pthread_mutex_clocklock, which it does not see and then
// reports every unlock as unlocking an unlocked mutex. A jump of the system clock only makes
// the wait end early or late, which a time-out tolerates.

#include <chrono>
#include <mutex>

namespace phonesim {

inline bool lockWithin(std::unique_lock<std::timed_mutex>& lock, std::chrono::milliseconds limit) {
    return lock.try_lock_until(std::chrono::system_clock::now() + limit);
}

}  // namespace phonesim
