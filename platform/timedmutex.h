#pragma once
// Mutexes with timed waits that ThreadSanitizer can follow. std::timed_mutex waits through
// pthread_mutex_clocklock, which the sanitizer of this compiler does not intercept, so each timed
// lock shows up as the unlock of a free mutex and the locks guard nothing in its eyes. These wait
// on a condition variable instead. They are used like std::timed_mutex and
// std::recursive_timed_mutex: std::unique_lock with std::defer_lock (or a duration), then
// try_lock_for.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

class TimedMutex {
  public:
    void lock() {
        std::unique_lock guard(state);
        released.wait(guard, [this] { return !held; });
        held = true;
    }

    bool try_lock() {
        std::lock_guard guard(state);
        if (held) {
            return false;
        }
        held = true;
        return true;
    }

    template <typename Rep, typename Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& wait) {
        std::unique_lock guard(state);
        if (!released.wait_for(guard, wait, [this] { return !held; })) {
            return false;
        }
        held = true;
        return true;
    }

    void unlock() {
        {
            std::lock_guard guard(state);
            held = false;
        }
        released.notify_one();
    }

  private:
    std::mutex state;
    std::condition_variable released;
    bool held = false;
};

// Re-entrant for the thread that holds it: each lock needs its own unlock.
class RecursiveTimedMutex {
  public:
    void lock() {
        std::unique_lock guard(state);
        released.wait(guard, [this] { return freeFor(std::this_thread::get_id()); });
        take();
    }

    bool try_lock() { return try_lock_for(std::chrono::milliseconds(0)); }

    template <typename Rep, typename Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& wait) {
        std::unique_lock guard(state);
        const auto self = std::this_thread::get_id();
        if (!released.wait_for(guard, wait, [&] { return freeFor(self); })) {
            return false;
        }
        take();
        return true;
    }

    void unlock() {
        {
            std::lock_guard guard(state);
            if (--depth > 0) {
                return;
            }
            owner = std::thread::id();
        }
        released.notify_one();
    }

  private:
    bool freeFor(std::thread::id self) const { return depth == 0 || owner == self; }
    void take() {
        owner = std::this_thread::get_id();
        ++depth;
    }

    std::mutex state;
    std::condition_variable released;
    std::thread::id owner;
    unsigned depth = 0;
};

}  // namespace platform
