#pragma once
// The worker base every background worker of the station shares: a run flag, the lock the
// worker must hold around radio work, and the worker's thread.
//
// "Running" means the thread was started and has not returned yet. stop() only clears the flag
// and wakes the worker from its pauses; the worker ends at its next check. An owner stops and
// joins its worker (stopAndJoin) before it is destroyed: a derived class calls stopAndJoin() in
// its own destructor, because the worker's body uses the derived object.
//
// A worker rests only in its pauses, and every pass of its loop comes to one within seconds.
// busyFor() tells how long a worker has been at work since it last rested, so a worker stuck
// inside a pass (a hang) shows from outside; longestBusy() asks every worker of the process.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/timedmutex.h"

namespace blto {

class CBlueSync {
  public:
    using Clock = std::chrono::steady_clock;

    CBlueSync() { enrol(this); }
    virtual ~CBlueSync() {
        withdraw(this);
        stopAndJoin();
    }
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

    // Waits at most `limit` until the worker has returned (a stopped worker ends at its next
    // check); true when it has, or never ran. Unlike join() it never blocks longer than `limit`.
    bool waitUntilEnded(std::chrono::milliseconds limit) const {
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        while (active) {
            if (std::chrono::steady_clock::now() >= giveUp) {
                return !active;
            }
            std::this_thread::sleep_for(endPoll);
        }
        return true;
    }

    // How long the worker has been at work since it started or last left a pause; zero while it
    // pauses or does not run.
    Clock::duration busyFor(Clock::time_point now = Clock::now()) const {
        const std::int64_t since = busySince.load();
        return since == notBusy ? Clock::duration::zero()
                                : std::max(now - Clock::time_point(Clock::duration(since)),
                                           Clock::duration::zero());
    }

    // The longest busyFor() of all workers that exist in the process.
    static Clock::duration longestBusy() {
        const auto now = Clock::now();
        Roll& roll = rollOfWorkers();
        std::lock_guard<std::mutex> guard(roll.lock);
        Clock::duration longest = Clock::duration::zero();
        for (const CBlueSync* worker : roll.workers) {
            longest = std::max(longest, worker->busyFor(now));
        }
        return longest;
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
                    markBusy();
                    body();
                    busySince = notBusy;
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
        busySince = notBusy;
        std::unique_lock<std::mutex> guard(stateMutex);
        wake.wait_for(guard, scaled, [this] { return !runFlag; });
        guard.unlock();
        markBusy();
        return runFlag;
    }

  private:
    static constexpr std::chrono::milliseconds endPoll{2};

    // Every worker of the process, for longestBusy(). Never destroyed: workers of static
    // objects may leave the roll while the program exits.
    struct Roll {
        std::mutex lock;
        std::vector<const CBlueSync*> workers;
    };
    static Roll& rollOfWorkers() {
        static auto* roll = new Roll;
        return *roll;
    }
    static void enrol(const CBlueSync* worker) {
        Roll& roll = rollOfWorkers();
        std::lock_guard<std::mutex> guard(roll.lock);
        roll.workers.push_back(worker);
    }
    static void withdraw(const CBlueSync* worker) {
        Roll& roll = rollOfWorkers();
        std::lock_guard<std::mutex> guard(roll.lock);
        std::erase(roll.workers, worker);
    }

    static constexpr std::int64_t notBusy = std::numeric_limits<std::int64_t>::min();
    void markBusy() { busySince = Clock::now().time_since_epoch().count(); }

    static std::atomic<double>& timeScale() {
        static std::atomic<double> scale{1.0};
        return scale;
    }

    std::atomic<bool> runFlag{false};
    std::atomic<bool> active{false};
    std::atomic<std::int64_t> busySince{notBusy};  // steady-clock count; notBusy while resting
    bool restartPending = false;
    platform::TimedMutex* sharedLock = nullptr;
    std::mutex threadMutex;
    std::thread thread;
    std::mutex stateMutex;  // run flag and running state change together; pauses wait on it
    std::condition_variable wake;
};

}  // namespace blto
