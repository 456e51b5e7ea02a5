#pragma once
// A mutex with timed waits that ThreadSanitizer can follow. std::timed_mutex waits through
// pthread_mutex_clocklock, which the sanitizer of this compiler does not intercept: every timed
// lock then looks like the unlock of a free mutex and the queue's lock guards nothing in its
// eyes. This one waits on a condition variable instead. It is used exactly like
// std::timed_mutex: std::unique_lock with a time-out, or try_lock_for.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace blto {

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

}  // namespace blto
