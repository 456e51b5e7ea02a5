// Radio hot-plug notices from the service's signals, served on the watch's own thread or in the
// owner's poll loop.

#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "libs/bluezbus/adapterwatch.h"
#include "tests/common/bluezmock.h"

namespace {

using bluezbus::AdapterChange;
using bluezbus::AdapterEvent;
using bluezbus::CAdapterWatch;
using testing_support::BluezMock;

constexpr const char* adapterInterface = "org.bluez.Adapter1";

// The notices a watch delivered, from whichever thread delivers them.
class Notices {
  public:
    void add(const AdapterEvent& event) {
        std::lock_guard guard(lock);
        events.push_back(event);
        arrived.notify_all();
    }
    // Waits until `count` notices arrived (at most 10 s); all of them.
    std::vector<AdapterEvent> waitFor(std::size_t count) {
        std::unique_lock guard(lock);
        arrived.wait_for(guard, std::chrono::seconds(10), [&] { return events.size() >= count; });
        return events;
    }

  private:
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<AdapterEvent> events;
};

struct Expected {
    AdapterChange change;
    const char* path;
};

void expectNotices(const std::vector<AdapterEvent>& got, const std::vector<Expected>& wanted) {
    ASSERT_EQ(got.size(), wanted.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        EXPECT_EQ(got[i].change, wanted[i].change) << i;
        EXPECT_EQ(got[i].path, wanted[i].path) << i;
    }
}

// Plugs a radio in, switches it off and on, pulls it, then stops and restarts the service.
void plugAndPull(BluezMock& mock) {
    mock.addAdapter("hci0", "radio");
    mock.setFlag("/org/bluez/hci0", adapterInterface, "Powered", false);
    mock.setFlag("/org/bluez/hci0", adapterInterface, "Powered", true);
    mock.removeAdapter("hci0");
    mock.stopService();
    ASSERT_TRUE(mock.startService());
}

const std::vector<Expected> plugAndPullNotices = {
    {AdapterChange::added, "/org/bluez/hci0"},     {AdapterChange::poweredOff, "/org/bluez/hci0"},
    {AdapterChange::poweredOn, "/org/bluez/hci0"}, {AdapterChange::removed, "/org/bluez/hci0"},
    {AdapterChange::serviceStopped, ""},           {AdapterChange::serviceStarted, ""},
};

TEST(AdapterWatch, ItsThreadReportsRadiosComingAndGoingAndTheServiceItself) {
    BluezMock mock;
    ASSERT_TRUE(mock.start()) << mock.serviceErrors();
    Notices notices;
    CAdapterWatch watch([&](const AdapterEvent& event) { notices.add(event); });
    std::string problem;
    ASSERT_TRUE(watch.start(problem)) << problem;
    plugAndPull(mock);
    expectNotices(notices.waitFor(plugAndPullNotices.size()), plugAndPullNotices);
    watch.stop();
}

TEST(AdapterWatch, TheOwnersPollLoopReceivesTheSameNotices) {
    BluezMock mock;
    ASSERT_TRUE(mock.start()) << mock.serviceErrors();
    Notices notices;
    CAdapterWatch watch([&](const AdapterEvent& event) { notices.add(event); });
    std::string problem;
    ASSERT_TRUE(watch.open(problem)) << problem;
    plugAndPull(mock);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (notices.waitFor(0).size() < plugAndPullNotices.size() &&
           std::chrono::steady_clock::now() < deadline) {
        pollfd entry{watch.fd(), watch.pollEvents(), 0};
        if (::poll(&entry, 1, 100) > 0) {
            watch.process();
        }
    }
    expectNotices(notices.waitFor(0), plugAndPullNotices);
}

TEST(AdapterWatch, WithoutABusItSaysWhy) {
    BluezMock mock;  // never started: its bus address leads nowhere
    ::setenv(BluezMock::addressVariable, mock.address().c_str(), 1);
    CAdapterWatch watch([](const AdapterEvent&) {});
    std::string problem;
    EXPECT_FALSE(watch.start(problem));
    EXPECT_NE(problem.find("no system bus"), std::string::npos) << problem;
}

TEST(AdapterWatch, TheBusGoingAwayEndsTheThreadWithAServiceNotice) {
    BluezMock mock;
    ASSERT_TRUE(mock.startBus());
    Notices notices;
    CAdapterWatch watch([&](const AdapterEvent& event) { notices.add(event); });
    std::string problem;
    ASSERT_TRUE(watch.start(problem)) << problem;
    mock.stopBus();
    expectNotices(notices.waitFor(1), {{AdapterChange::serviceStopped, ""}});
    watch.stop();
}

}  // namespace
