#include "app/station/servicewatch.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "tests/common/notifysocket.h"

using namespace std::chrono_literals;
using testing_support::NotifySocket;

namespace {

// A service manager that watches the station: its socket and a 60 s watchdog.
class ServiceManager : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(manager.isBound());
        ::setenv("NOTIFY_SOCKET", manager.address().c_str(), 1);
        ::setenv("WATCHDOG_USEC", "60000000", 1);
        ::unsetenv("WATCHDOG_PID");
    }
    void TearDown() override {
        ::unsetenv("NOTIFY_SOCKET");
        ::unsetenv("WATCHDOG_USEC");
    }

    CServiceWatch watchWithBusy(blto::CBlueSync::Clock::duration& busy) {
        return CServiceWatch([&busy] { return busy; });
    }

    NotifySocket manager;
};

}  // namespace

TEST_F(ServiceManager, HearsReadyStatusAndStopping) {
    blto::CBlueSync::Clock::duration busy{};
    CServiceWatch watch = watchWithBusy(busy);
    watch.ready();
    EXPECT_EQ(manager.receive(5s), "READY=1\nSTATUS=started");
    watch.status("SBJ_O found 1 new 0 jobs 0 sent 1 failed 0 remembered 1");
    EXPECT_EQ(manager.receive(5s),
              "STATUS=SBJ_O found 1 new 0 jobs 0 sent 1 failed 0 remembered 1");
    watch.stopping();
    EXPECT_EQ(manager.receive(5s), "STOPPING=1\nSTATUS=stopping");
}

// Each tick pings while no worker hangs; a worker at work for the hang limit stops the pings
// (the manager then restarts the station), and they come back once the worker rests again.
TEST_F(ServiceManager, PingsTheWatchdogOnlyWhileNoWorkerHangs) {
    blto::CBlueSync::Clock::duration busy = 2s;
    CServiceWatch watch = watchWithBusy(busy);

    watch.tick();
    EXPECT_EQ(manager.receive(5s), "WATCHDOG=1");
    EXPECT_TRUE(watch.isHealthy());

    busy = CServiceWatch::hangLimit - 1s;
    watch.tick();
    EXPECT_EQ(manager.receive(5s), "WATCHDOG=1");

    busy = CServiceWatch::hangLimit;
    watch.tick();
    const std::string hang = manager.receive(5s);
    EXPECT_NE(hang.find("STATUS=Nyvex: a worker has been at work for 180 s"), std::string::npos)
        << hang;
    EXPECT_FALSE(watch.isHealthy());
    watch.tick();
    EXPECT_EQ(manager.receive(300ms), "") << "no ping while a worker hangs";

    busy = 0s;
    watch.tick();
    EXPECT_NE(manager.receive(5s).find("the watchdog is fed again"), std::string::npos);
    EXPECT_EQ(manager.receive(5s), "WATCHDOG=1");
    EXPECT_TRUE(watch.isHealthy());
}

TEST_F(ServiceManager, NoPingsWhenTheManagerSetNoWatchdog) {
    ::unsetenv("WATCHDOG_USEC");
    blto::CBlueSync::Clock::duration busy{};
    CServiceWatch watch = watchWithBusy(busy);
    watch.tick();
    EXPECT_EQ(manager.receive(300ms), "");
}

TEST(ServiceWatchAlone, DoesNothingWithoutAServiceManager) {
    ::unsetenv("NOTIFY_SOCKET");
    CServiceWatch watch([] { return blto::CBlueSync::Clock::duration::zero(); });
    watch.ready();
    watch.tick();
    watch.status("line");
    watch.stopping();
    EXPECT_TRUE(watch.isHealthy());
}
