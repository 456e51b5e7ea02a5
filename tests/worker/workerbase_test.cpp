#include "worker/workerbase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

#include "tests/common/nonewthreads.h"
#include "tests/common/waituntil.h"

using namespace std::chrono_literals;
using testing_support::waitUntil;

namespace {

// A worker whose body the test chooses; it sees the base's protected controls.
class Worker : public blto::CBlueSync {
  public:
    using Body = std::function<void(Worker&)>;

    explicit Worker(Body body) : body(std::move(body)) {}
    ~Worker() override { stopAndJoin(); }

    bool start(platform::TimedMutex* lock = nullptr) {
        if (!CBlueSync::start(lock)) {
            return false;
        }
        launch([this] { body(*this); });
        return true;
    }

    using CBlueSync::keepRunning;
    using CBlueSync::lockForRadio;
    using CBlueSync::pause;

  private:
    Body body;
};

// Counts its runs and pauses an hour a pass until it is stopped.
struct Sleeper {
    std::atomic<int> runs{0};
    std::atomic<bool> returned{false};

    Worker::Body body() {
        return [this](Worker& self) {
            ++runs;
            while (self.pause(1h)) {
            }
            returned = true;
        };
    }
};

}  // namespace

TEST(CBlueSyncTest, StartingARunningWorkerStartsNoSecondThread) {
    Sleeper sleeper;
    Worker worker(sleeper.body());
    platform::TimedMutex radio;
    ASSERT_TRUE(worker.start(&radio));
    EXPECT_TRUE(worker.isRunning());
    EXPECT_FALSE(worker.start(&radio));
    EXPECT_TRUE(worker.keepRunning());
    EXPECT_EQ(worker.lockForRadio(), &radio);
    worker.stopAndJoin();
    EXPECT_EQ(sleeper.runs, 1);
}

TEST(CBlueSyncTest, StopWakesTheWorkerFromItsPause) {
    Sleeper sleeper;
    Worker worker(sleeper.body());
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(waitUntil([&] { return sleeper.runs == 1; }));
    worker.stop();
    EXPECT_TRUE(waitUntil([&] { return sleeper.returned.load(); }));
    EXPECT_TRUE(waitUntil([&] { return !worker.isRunning(); }));
    worker.join();
}

TEST(CBlueSyncTest, AWorkerWhoseBodyReturnedIsNotRunningBeforeItIsJoined) {
    std::atomic<int> runs{0};
    Worker worker([&](Worker&) { ++runs; });
    ASSERT_TRUE(worker.start());
    ASSERT_TRUE(waitUntil([&] { return !worker.isRunning(); }));
    EXPECT_EQ(runs, 1);
    // The run flag is still set, yet the worker counts as ended and can be started again.
    EXPECT_TRUE(worker.keepRunning());
    ASSERT_TRUE(worker.start());
    worker.join();
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(worker.isRunning());
}

TEST(CBlueSyncTest, JoinWaitsForTheWorkerToReturn) {
    std::atomic<bool> finished{false};
    Worker worker([&](Worker& self) {
        while (self.keepRunning()) {
            self.pause(1ms);
        }
        finished = true;
    });
    ASSERT_TRUE(worker.start());
    worker.stop();
    worker.join();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(worker.isRunning());
    worker.join();  // joining an ended worker again does nothing
}

// The tool commands wait for stopped workers with a bound: a worker held up longer is given up
// on in time, and one that returns is seen at once.
TEST(CBlueSyncTest, WaitingForAStoppedWorkerToEndIsBounded) {
    std::atomic<bool> holdUp{true};
    Worker worker([&](Worker&) {
        while (holdUp) {
            std::this_thread::sleep_for(1ms);
        }
    });
    EXPECT_TRUE(worker.waitUntilEnded(0ms)) << "a worker that never ran";
    ASSERT_TRUE(worker.start());
    worker.stop();
    const auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(worker.waitUntilEnded(50ms));
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, 50ms);
    EXPECT_LT(waited, 5s);
    holdUp = false;
    EXPECT_TRUE(worker.waitUntilEnded(10s));
    EXPECT_FALSE(worker.isRunning());
}

TEST(CBlueSyncTest, DestroyingARunningWorkerStopsAndJoinsIt) {
    Sleeper sleeper;
    auto worker = std::make_unique<Worker>(sleeper.body());
    ASSERT_TRUE(worker->start());
    ASSERT_TRUE(waitUntil([&] { return sleeper.runs == 1; }));
    worker.reset();
    EXPECT_TRUE(sleeper.returned);
}

TEST(CBlueSyncTest, TheTimeScaleShortensPausesOfRunningWorkers) {
    std::atomic<int> pauses{0};
    Worker worker([&](Worker& self) {
        while (self.pause(1h)) {
            ++pauses;
        }
    });
    testing_support::ScopedTimeScale instant(0.0);
    ASSERT_TRUE(worker.start());
    EXPECT_TRUE(waitUntil([&] { return pauses > 3; }));
    worker.stopAndJoin();
}

TEST(CBlueSyncTest, AStartWhileAStoppedWorkerIsOnItsWayOutRunsItAgain) {
    std::atomic<int> runs{0};
    std::atomic<bool> leaving{false};
    std::atomic<bool> mayLeave{false};
    Worker worker([&](Worker& self) {
        if (++runs == 1) {
            while (self.pause(1h)) {
            }
            leaving = true;  // past its last check of the run flag, not yet returned
            while (!mayLeave) {
                std::this_thread::yield();
            }
        } else {
            while (self.pause(1h)) {
            }
        }
    });
    ASSERT_TRUE(worker.start());
    worker.stop();
    ASSERT_TRUE(waitUntil([&] { return leaving.load(); }));
    EXPECT_FALSE(worker.start()) << "the worker still runs";
    mayLeave = true;
    ASSERT_TRUE(waitUntil([&] { return runs == 2; }));
    EXPECT_TRUE(worker.isRunning());
    worker.stopAndJoin();
    EXPECT_FALSE(worker.isRunning());
}

// A worker rests in its pauses; outside them it is at work, and the time it has been at work
// shows how long it is stuck in one pass. Nothing counts while it pauses or after it ended.
TEST(CBlueSyncTest, BusyForCountsOnlyTheTimeOutsideThePauses) {
    std::atomic<bool> stuck{false};
    std::atomic<bool> release{false};
    Worker worker([&](Worker& self) {
        while (self.pause(5ms)) {
            if (stuck) {
                while (!release) {
                    std::this_thread::sleep_for(1ms);
                }
                stuck = false;
            }
        }
    });
    EXPECT_EQ(worker.busyFor(), blto::CBlueSync::Clock::duration::zero()) << "not started";
    ASSERT_TRUE(worker.start());

    stuck = true;
    std::this_thread::sleep_for(100ms);
    EXPECT_GE(worker.busyFor(), 50ms);
    EXPECT_GE(blto::CBlueSync::longestBusy(), worker.busyFor() - 1ms);

    release = true;
    EXPECT_TRUE(waitUntil([&] { return !stuck; }));
    EXPECT_TRUE(waitUntil([&] { return worker.busyFor() < 50ms; }));

    worker.stopAndJoin();
    EXPECT_EQ(worker.busyFor(), blto::CBlueSync::Clock::duration::zero()) << "ended";
}

TEST(CBlueSyncTest, LongestBusyForgetsWorkersThatAreGone) {
    std::atomic<bool> release{false};
    {
        Worker stuck([&](Worker&) {
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
        });
        ASSERT_TRUE(stuck.start());
        std::this_thread::sleep_for(60ms);
        EXPECT_GE(blto::CBlueSync::longestBusy(), 50ms);
        release = true;
    }
    EXPECT_LT(blto::CBlueSync::longestBusy(), 50ms);
}

TEST(CBlueSyncTest, AWorkerWhoseThreadCouldNotBeCreatedIsNotRunningAndStartsLater) {
    Sleeper sleeper;
    Worker worker(sleeper.body());
    {
        testing_support::NoNewThreads noThreads;
        EXPECT_THROW(worker.start(), std::system_error);
    }
    EXPECT_FALSE(worker.isRunning());
    EXPECT_FALSE(worker.keepRunning());
    ASSERT_TRUE(worker.start()) << "the failed start left the worker 'running'";
    EXPECT_TRUE(waitUntil([&] { return sleeper.runs == 1; }));
    worker.stopAndJoin();
    EXPECT_FALSE(worker.isRunning());
}
