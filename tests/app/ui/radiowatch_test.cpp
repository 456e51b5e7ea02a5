// The radio watch with real radios: adapters that bluetoothd's stand-in adds and removes on a
// private bus reach the window's callback on the thread that runs the event loop, and a bus that
// goes away makes the watch say so, so that the window counts the radios on every tick instead.

#include "app/ui/radiowatch.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>

#include "tests/common/bluezmock.h"

using testing_support::BluezMock;

namespace {

// Runs the event loop until `condition` holds, for at most 10 s.
template <typename Condition>
bool serveUntil(Condition condition) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition() && std::chrono::steady_clock::now() < giveUp) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return condition();
}

class RadioWatch : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "radiowatch_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
        ::unsetenv("NYVEX_SIMULATION");  // real radios, not the simulated world
    }
};

}  // namespace

TEST_F(RadioWatch, AdaptersThatComeAndGoReachTheEventLoopsThread) {
    BluezMock mock;
    ASSERT_TRUE(mock.start()) << mock.serviceErrors();
    int changes = 0;
    bool onLoopThread = true;
    CRadioWatch watch([&] {
        ++changes;
        onLoopThread = onLoopThread && QThread::currentThread() == qApp->thread();
    });
    ASSERT_TRUE(watch.isWatching());

    mock.addAdapter("hci0", "Kiosk");
    EXPECT_TRUE(serveUntil([&] { return changes >= 1; }));
    const int afterPlugging = changes;
    mock.removeAdapter("hci0");
    EXPECT_TRUE(serveUntil([&] { return changes > afterPlugging; }));
    EXPECT_TRUE(onLoopThread);
}

TEST_F(RadioWatch, ABusThatGoesAwayEndsTheWatch) {
    BluezMock mock;
    ASSERT_TRUE(mock.start()) << mock.serviceErrors();
    CRadioWatch watch([] {});
    ASSERT_TRUE(watch.isWatching());
    mock.stopBus();
    EXPECT_TRUE(serveUntil([&] { return !watch.isWatching(); }));
}

TEST_F(RadioWatch, WithoutABusNothingIsWatched) {
    ::setenv(BluezMock::addressVariable, "unix:path=/nonexistent/nyvex-bus", 1);
    CRadioWatch watch([] {});
    EXPECT_FALSE(watch.isWatching());
    ::unsetenv(BluezMock::addressVariable);
}
