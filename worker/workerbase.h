#pragma once
// The worker base every background worker of the station shares: a run flag, the lock the
// worker must hold around radio work, and the worker's thread.
//
// "Running" means the thread was started and has not returned yet. stop() only clears the flag
// and wakes the worker from its pauses; the worker ends at its next check. An owner stops and
// joins its worker (stopAndJoin) before it is destroyed: a derived class calls stopAndJoin() in
// its own destructor, because the worker's body uses the derived object.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/timedmutex.h"

namespace blto {

class CBlueSync {
  public:
    CBlueSync() = default;
    virtual ~CBlueSync() { stopAndJoin(); }
    CBlueSync(const CBlueSync&) = delete;
    CBlueSync& operator=(const CBlueSync&) = delete;

    // Sets the run flag. False when the worker is already running (it then simply carries on);
    // otherwise keeps `lock` for the worker and returns true: the owner then calls launch().
    bool start(platform::TimedMutex* lock) {
        std::lock_guard<std::mutex> guard(stateMutex);
        if (active) {
            // A stopped worker may already be on its way out: it then runs its body again.
            restartPending = restartPending || !runFlag;
            runFlag = true;
            return false;
        }
        runFlag = true;
        sharedLock = lock;
        return true;
    }

    void stop() {
        {
            std::lock_guard<std::mutex> guard(stateMutex);
            runFlag = false;
        }
        wake.notify_all();
    }

    bool isRunning() const { return active; }

    // Waits until the worker has returned. Never call it from the worker itself.
    void join() {
        std::lock_guard<std::mutex> guard(threadMutex);
        if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) {
            thread.join();
        }
    }

    void stopAndJoin() {
        stop();
        join();
    }

    // Test hook: multiplies every worker pause (1 in production; tests shorten the fixed pauses).
    static void setTimeScale(double scale) { timeScale() = scale; }

  protected:
    // Starts the worker thread running `body`; the worker counts as running until it returns.
    // When the system cannot create the thread, the worker is stopped and not running (a later
    // start() tries anew), and the failure goes on to the caller.
    void launch(std::function<void()> body) {
        std::lock_guard<std::mutex> guard(threadMutex);
        if (thread.joinable()) {
            thread.join();  // the previous run has returned (isRunning() was false)
        }
        active = true;
        try {
            thread = std::thread([this, body = std::move(body)] {
                // A start() that came after a stop, while the worker was still running, started
                // nothing: the body then runs again instead of ending.
                for (;;) {
                    body();
                    std::lock_guard<std::mutex> guard(stateMutex);
                    const bool again = restartPending && runFlag;
                    restartPending = false;
                    if (!again) {
                        active = false;
                        return;
                    }
                }
            });
        } catch (...) {
            std::lock_guard<std::mutex> state(stateMutex);
            active = false;
            runFlag = false;
            restartPending = false;
            throw;
        }
    }

    bool keepRunning() const { return runFlag; }
    platform::TimedMutex* lockForRadio() const { return sharedLock; }

    // Pauses the worker for `duration` (scaled); returns early once the worker is stopped.
    // True when the worker should go on.
    bool pause(std::chrono::milliseconds duration) {
        const auto scaled =
            std::chrono::duration_cast<std::chrono::microseconds>(duration * timeScale().load());
        std::unique_lock<std::mutex> guard(stateMutex);
        wake.wait_for(guard, scaled, [this] { return !runFlag; });
        return runFlag;
    }

  private:
    static std::atomic<double>& timeScale() {
        static std::atomic<double> scale{1.0};
        return scale;
    }

    std::atomic<bool> runFlag{false};
    std::atomic<bool> active{false};
    bool restartPending = false;
    platform::TimedMutex* sharedLock = nullptr;
    std::mutex threadMutex;
    std::thread thread;
    std::mutex stateMutex;  // run flag and running state change together; pauses wait on it
    std::condition_variable wake;
};

}  // namespace blto
