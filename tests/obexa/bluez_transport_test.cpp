// The BlueZ transport's connection set-up with its radio steps stood in for: one set-up at a time
// in the process, one deadline for the wait, the SDP search and the RFCOMM connect, and the real
// error of the step that failed.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <future>
#include <thread>
#include <vector>

#include "libs/obexa/transport_bluez.h"
#include "tests/common/sdprecords.h"

namespace {

using namespace std::chrono_literals;
using obexa::ConnectOutcome;
using sdpclient::SteadyClock;
using std::chrono::milliseconds;

// A socket the transport may close, standing in for the RFCOMM socket.
int standInSocket() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return -1;
    }
    ::close(pair[1]);
    return pair[0];
}

sdpclient::SearchOutcome objectPushOn(int channel) {
    return {0, {sdprecords::objectPushRecord(channel)}};
}

obexa::BluezSteps steps(
    std::function<sdpclient::SearchOutcome()> search,
    std::function<int(milliseconds)> connect = [](milliseconds) { return 0; }) {
    obexa::BluezSteps result;
    result.openSocket = standInSocket;
    result.searchObjectPush = [search](std::uint64_t, SteadyClock::time_point) { return search(); };
    result.connectChannel = [connect](int, std::uint64_t, int, milliseconds limit) {
        return connect(limit);
    };
    return result;
}

void closeConnected(const ConnectOutcome& outcome) {
    if (outcome.socket >= 0) {
        ::close(outcome.socket);
    }
}

TEST(BluezTransport, ConnectionSetUpsRunOneAtATime) {
    std::atomic<int> inSetup{0};
    std::atomic<int> most{0};
    auto transport = obexa::makeBluezTransport(steps([&] {
                                                   const int now = ++inSetup;
                                                   most = std::max(most.load(), now);
                                                   std::this_thread::sleep_for(30ms);
                                                   --inSetup;
                                                   return objectPushOn(9);
                                               }),
                                               5000ms);
    std::vector<std::future<ConnectOutcome>> pushes;
    for (int i = 0; i < 4; ++i) {
        pushes.push_back(std::async(std::launch::async, [&] { return transport->connect(1); }));
    }
    for (auto& push : pushes) {
        const ConnectOutcome outcome = push.get();
        EXPECT_EQ(outcome.kind, ConnectOutcome::Kind::connected);
        closeConnected(outcome);
    }
    EXPECT_EQ(most.load(), 1);
}

TEST(BluezTransport, WaitingForTheTurnCountsAgainstTheDeadline) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> searching;
    auto slow = obexa::makeBluezTransport(steps([&] {
                                              searching.set_value();
                                              released.wait();
                                              return objectPushOn(9);
                                          }),
                                          5000ms);
    auto first = std::async(std::launch::async, [&] { return slow->connect(1); });
    searching.get_future().wait();

    auto queued = obexa::makeBluezTransport(steps([] { return objectPushOn(9); }), 300ms);
    const auto started = SteadyClock::now();
    const ConnectOutcome outcome = queued->connect(2);
    const auto took = SteadyClock::now() - started;
    release.set_value();
    closeConnected(first.get());

    EXPECT_EQ(outcome.kind, ConnectOutcome::Kind::connectFailed);
    EXPECT_EQ(outcome.error, ETIMEDOUT);
    EXPECT_TRUE(obexa::isConnectTimeout(outcome.error));
    EXPECT_GE(took, 290ms);
    EXPECT_LT(took, 2000ms);
}

TEST(BluezTransport, TheConnectGetsWhatTheSearchLeftOfTheDeadline) {
    milliseconds given{0};
    auto transport = obexa::makeBluezTransport(steps(
                                                   [] {
                                                       std::this_thread::sleep_for(400ms);
                                                       return objectPushOn(9);
                                                   },
                                                   [&](milliseconds limit) {
                                                       given = limit;
                                                       return 0;
                                                   }),
                                               1000ms);
    closeConnected(transport->connect(1));
    EXPECT_GT(given, 0ms);
    EXPECT_LE(given, 600ms);
}

struct FailureCase {
    const char* title;
    int socketError;  // 0: the socket is made
    sdpclient::SearchOutcome search;
    int connectError;
    ConnectOutcome::Kind kind;
    int error;
};

TEST(BluezTransport, EachFailedStepKeepsItsOwnError) {
    const FailureCase cases[] = {
        {"no Bluetooth in the kernel",
         EAFNOSUPPORT,
         {},
         0,
         ConnectOutcome::Kind::connectFailed,
         EAFNOSUPPORT},
        {"no socket left", EMFILE, {}, 0, ConnectOutcome::Kind::noSocket, EMFILE},
        {"the phone is out of range",
         0,
         {EHOSTDOWN, {}},
         0,
         ConnectOutcome::Kind::connectFailed,
         EHOSTDOWN},
        {"the phone refuses the SDP channel",
         0,
         {ECONNREFUSED, {}},
         0,
         ConnectOutcome::Kind::connectFailed,
         ECONNREFUSED},
        {"no Object Push service",
         0,
         {0, {sdprecords::serviceRecord(1, sdprecords::uuid16(sdprecords::fileTransfer), 10)}},
         0,
         ConnectOutcome::Kind::connectFailed,
         ECONNREFUSED},
        {"the RFCOMM connect is reset", 0, objectPushOn(9), ECONNRESET,
         ConnectOutcome::Kind::connectFailed, ECONNRESET},
        {"the RFCOMM connect times out", 0, objectPushOn(9), ETIMEDOUT,
         ConnectOutcome::Kind::connectFailed, ETIMEDOUT},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.title);
        obexa::BluezSteps failing =
            steps([&] { return c.search; }, [&](milliseconds) { return c.connectError; });
        if (c.socketError != 0) {
            failing.openSocket = [&] {
                errno = c.socketError;
                return -1;
            };
        }
        const ConnectOutcome outcome = obexa::makeBluezTransport(failing, 1000ms)->connect(1);
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(outcome.socket, -1);
    }
}

TEST(BluezTransport, OnThisMachineWithoutBluetoothThePushFailsToConnect) {
    const int probe = ::socket(AF_BLUETOOTH, SOCK_STREAM, 3 /* RFCOMM */);
    if (probe >= 0) {
        ::close(probe);
        GTEST_SKIP() << "this machine has Bluetooth sockets";
    }
    const ConnectOutcome outcome = obexa::makeBluezTransport()->connect(0x001122334455ull);
    EXPECT_EQ(outcome.kind, ConnectOutcome::Kind::connectFailed);
    EXPECT_EQ(outcome.error, EAFNOSUPPORT);
}

}  // namespace
