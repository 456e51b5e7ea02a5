// The link model of a simulated phone: its keys in the world file, the arithmetic of the
// model, and a phone server that holds requests and answers as long as its link and its user
// take. Timings are checked only from below: a loaded machine may be slower, never faster.

#include "tools/phonesim/link.h"

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "tests/phonesim/fixture.h"

namespace phonesim_test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using phonesim::Answer;

struct LinkKeysCase {
    std::string what;
    std::string keys;
    std::chrono::microseconds roundTrip;
    double kilobitsPerSecond;
    std::chrono::microseconds acceptDelay;
    bool neverDecides;
    std::size_t problems;
};

TEST(LinkKeys, WorldFileValuesAndTheirDefaults) {
    const LinkKeysCase cases[] = {
        {"absent: an instant link", "", 0us, 0, 0us, false, 0},
        {"a Bluetooth link", "rtt=20\nrate=1400\nacceptdelay=5\n", 20ms, 1400, 5s, false, 0},
        {"fractions", "rtt=0.5\nrate=0.5\nacceptdelay=0.25\n", 500us, 0.5, 250ms, false, 0},
        {"zeros mean none", "rtt=0\nrate=0\nacceptdelay=0\n", 0us, 0, 0us, false, 0},
        {"a user who never decides", "acceptdelay=Never\n", 0us, 0, 0us, true, 0},
        {"the largest values", "rtt=10000\nrate=10000000\nacceptdelay=3600\n", 10s, 1e7, 3600s,
         false, 0},
        {"not numbers", "rtt=fast\nrate=1.4M\nacceptdelay=5s\n", 0us, 0, 0us, false, 3},
        {"negative", "rtt=-20\nrate=-1\nacceptdelay=-5\n", 0us, 0, 0us, false, 3},
        {"beyond the largest", "rtt=10001\nrate=1e8\nacceptdelay=3601\n", 0us, 0, 0us, false, 3},
        {"not finite", "rtt=inf\nrate=nan\nacceptdelay=1e400\n", 0us, 0, 0us, false, 3},
    };
    testing_support::TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        folder.write("world.ini",
                     "[radio]\naddress=00:1A:7D:DA:71:13\n[phone1]\n"
                     "address=00:11:22:AA:BB:CC\nobex=127.0.0.1:6501\n" +
                         c.keys);
        const simworld::World world = simworld::load(folder.file("world.ini"));
        ASSERT_EQ(world.phones.size(), 1u);
        const simworld::Link& link = world.phones[0].link;
        EXPECT_EQ(link.roundTrip, c.roundTrip);
        EXPECT_EQ(link.kilobitsPerSecond, c.kilobitsPerSecond);
        EXPECT_EQ(link.acceptDelay, c.acceptDelay);
        EXPECT_EQ(link.neverDecides, c.neverDecides);
        EXPECT_EQ(world.problems.size(), c.problems);
    }
}

TEST(LinkModel, EachDirectionCarriesOneThingAtATimeAtItsRate) {
    simworld::Link settings;
    settings.roundTrip = 20ms;
    settings.kilobitsPerSecond = 1400;
    phonesim::LinkModel link(settings);
    const Clock::time_point start{};
    // 1750 bytes at 1400 kbit/s take 10 ms, then half the round trip.
    EXPECT_EQ(link.requestArrives(start, 1750), start + 20ms);
    // A second request sent at once waits until the first has left.
    EXPECT_EQ(link.requestArrives(start, 1750), start + 30ms);
    // Answers use the other direction, which is still free.
    EXPECT_EQ(link.answerArrives(start + 30ms, 175), start + 41ms);

    phonesim::LinkModel instant(simworld::Link{});
    EXPECT_EQ(instant.requestArrives(start + 5ms, 65535), start + 5ms);
    EXPECT_EQ(instant.answerArrives(start + 5ms, 3), start + 5ms);
}

TEST_F(PhoneServerTest, LinkedPhoneAnswersNoSoonerThanItsLinkAllowsAndStoresEverything) {
    simworld::Link link;
    link.roundTrip = 100ms;
    link.kilobitsPerSecond = 800;  // 10000 bytes take 100 ms
    startPhone(Answer::accept, quickLimits(), link);
    ObexClient client(port());
    auto started = Clock::now();
    ASSERT_EQ(client.exchange(connectRequest()), 0xA0);
    EXPECT_GE(Clock::now() - started, 100ms);

    const Bytes body = patternBytes(9900);
    const auto packets = stationPackets(u"linked.bin", body, 10000);
    ASSERT_EQ(packets.size(), 1u);
    started = Clock::now();
    EXPECT_EQ(client.exchange(packets[0]), 0xA0);
    EXPECT_GE(Clock::now() - started, 200ms);
    EXPECT_EQ(client.exchange(disconnectRequest()), 0xA0);
    EXPECT_EQ(contentsOf(phoneFolder() / "linked.bin"), body);
}

TEST_F(PhoneServerTest, UserDecidesBeforeTheFirstPutOfEachObjectIsAnswered) {
    simworld::Link link;
    link.acceptDelay = 300ms;
    startPhone(Answer::accept, quickLimits(), link);
    ObexClient client(port());
    ASSERT_EQ(client.exchange(connectRequest()), 0xA0);
    for (const char16_t* name : {u"one.txt", u"two.txt"}) {
        const auto packets = stationPackets(name, patternBytes(1000));
        ASSERT_TRUE(client.send(packets[0]));
        EXPECT_FALSE(client.receive(100ms)) << "the user has not decided yet";
        EXPECT_EQ(client.receive(), (Bytes{0x90, 0x00, 0x03}));
        EXPECT_EQ(client.exchange(packets[1]), 0x90);
        EXPECT_EQ(client.exchange(packets[2]), 0xA0);
    }
    EXPECT_EQ(client.exchange(disconnectRequest()), 0xA0);
    EXPECT_EQ(entriesOf(phoneFolder()), (std::vector<std::string>{"one.txt", "two.txt"}));
}

TEST_F(PhoneServerTest, UserWhoNeverDecidesGetsNothingStoredAndTheConnectionEndsWithTheClient) {
    simworld::Link link;
    link.neverDecides = true;
    startPhone(Answer::accept, quickLimits(), link);
    {
        ObexClient client(port());
        ASSERT_EQ(client.exchange(connectRequest()), 0xA0);
        // A single-packet object: it would be complete, but the user never lets it in.
        ASSERT_TRUE(client.send(stationPackets(u"never.txt", patternBytes(50))[0]));
        EXPECT_FALSE(client.receive(300ms));
        ASSERT_TRUE(client.send(disconnectRequest()));
        EXPECT_FALSE(client.receive(100ms));
    }
    ObexClient waiting(port());
    ASSERT_EQ(waiting.exchange(connectRequest()), 0xA0);
    ASSERT_TRUE(waiting.send(stationPackets(u"never.txt", patternBytes(50))[0]));
    EXPECT_FALSE(waiting.receive(100ms));
    server->stop();  // must not wait for a decision that never comes
    EXPECT_TRUE(waiting.closedByServer());
    EXPECT_TRUE(entriesOf(phoneFolder()).empty());
    EXPECT_FALSE(events.has("00:11:22:AA:BB:CC stored never.txt (50 bytes)"));
    EXPECT_TRUE(events.has("00:11:22:AA:BB:CC connection ended before the user decided"));
}

}  // namespace
}  // namespace phonesim_test
