#include "tools/phonesim/phoneserver.h"

#include <sys/socket.h>

#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "tests/phonesim/fixture.h"
#include "tools/phonesim/inbox.h"

namespace phonesim_test {
namespace {

using phonesim::Answer;

constexpr std::uint8_t kContinue = 0x90;
constexpr std::uint8_t kSuccess = 0xA0;
constexpr std::uint8_t kBadRequest = 0xC0;
constexpr std::uint8_t kForbidden = 0xC3;
constexpr std::uint8_t kTooLarge = 0xCD;

// Sends each packet and collects the first byte of each answer.
std::vector<std::uint8_t> answersTo(ObexClient& client, const std::vector<Bytes>& packets) {
    std::vector<std::uint8_t> answers;
    for (const auto& p : packets) {
        answers.push_back(client.exchange(p));
    }
    return answers;
}

// Continue on every packet but the last, Success on the last.
std::vector<std::uint8_t> acceptedAnswers(std::size_t packets) {
    std::vector<std::uint8_t> answers(packets, kContinue);
    answers.back() = kSuccess;
    return answers;
}

struct AcceptedCase {
    std::string what;
    std::size_t size;
    std::function<std::vector<Bytes>(const Bytes& body)> packets;
    std::string storedName;
};

Bytes slice(const Bytes& body, std::size_t from, std::size_t to) {
    return Bytes(body.begin() + static_cast<std::ptrdiff_t>(from),
                 body.begin() + static_cast<std::ptrdiff_t>(to));
}

std::vector<AcceptedCase> acceptedCases() {
    return {
        {"one packet with every header", 100,
         [](const Bytes& b) { return stationPackets(u"promo.txt", b); }, "promo.txt"},
        {"three packets of 430 bytes, as the station sends", 1000,
         [](const Bytes& b) { return stationPackets(u"promo.txt", b); }, "promo.txt"},
        {"packets of the largest size", 90000,
         [](const Bytes& b) { return stationPackets(u"big.bin", b, 65535); }, "big.bin"},
        {"all of the body in a non-final packet, then an empty End of Body (obexftp)", 500,
         [](const Bytes& b) {
             return std::vector<Bytes>{putPacket(false, {nameHeader(u"hello.txt"),
                                                         lengthHeader(500), bodyHeader(b, false)}),
                                       putPacket(true, {bodyHeader({}, true)})};
         },
         "hello.txt"},
        {"no Length header", 300,
         [](const Bytes& b) {
             return std::vector<Bytes>{
                 putPacket(false, {nameHeader(u"a.bin"), bodyHeader(slice(b, 0, 100), false)}),
                 putPacket(false, {bodyHeader(slice(b, 100, 200), false)}),
                 putPacket(true, {bodyHeader(slice(b, 200, 300), true)})};
         },
         "a.bin"},
        {"headers in reverse order, the name after the body", 50,
         [](const Bytes& b) {
             return std::vector<Bytes>{
                 putPacket(true, {bodyHeader(b, true), lengthHeader(50), typeHeader("image/png"),
                                  nameHeader(u"late.png")})};
         },
         "late.png"},
        {"name without its terminating null", 10,
         [](const Bytes& b) {
             return std::vector<Bytes>{
                 putPacket(true, {nameHeader(u"plain.txt", false), bodyHeader(b, true)})};
         },
         "plain.txt"},
        {"name outside the basic plane", 10,
         [](const Bytes& b) { return stationPackets(u"Gr\u00FC\u00DFe\U0001F600.txt", b); },
         "Gr\u00FC\u00DFe\U0001F600.txt"},
        {"an empty object", 0,
         [](const Bytes&) {
             return std::vector<Bytes>{putPacket(
                 true, {nameHeader(u"empty.txt"), lengthHeader(0), bodyHeader({}, true)})};
         },
         "empty.txt"},
    };
}

TEST_F(PhoneServerTest, AcceptingPhoneStoresEachObjectByteForByte) {
    startPhone(Answer::accept);
    for (const auto& c : acceptedCases()) {
        SCOPED_TRACE(c.what);
        const Bytes body = patternBytes(c.size);
        const auto packets = c.packets(body);
        ObexClient client(port());
        ASSERT_EQ(client.exchange(connectRequest()), kSuccess);
        EXPECT_EQ(answersTo(client, packets), acceptedAnswers(packets.size()));
        EXPECT_EQ(client.exchange(disconnectRequest()), kSuccess);

        EXPECT_EQ(entriesOf(phoneFolder()), std::vector<std::string>{c.storedName});
        EXPECT_EQ(contentsOf(phoneFolder() / c.storedName), body);
        EXPECT_TRUE(events.has("00:11:22:AA:BB:CC stored " + c.storedName + " (" +
                               std::to_string(c.size) + " bytes)"));
        std::filesystem::remove(phoneFolder() / c.storedName);
    }
}

TEST_F(PhoneServerTest, ConnectIsAnsweredWithVersionFlagsAndPacketSizeAndDisconnectCloses) {
    startPhone(Answer::accept);
    ObexClient client(port());
    EXPECT_EQ(client.exchange({0x80, 0x00, 0x03}), kBadRequest);
    ASSERT_TRUE(client.send(connectRequest()));
    EXPECT_EQ(client.receive(), (Bytes{0xA0, 0x00, 0x07, 0x10, 0x00, 0xFF, 0xFF}));
    ASSERT_TRUE(client.send(disconnectRequest()));
    EXPECT_EQ(client.receive(), (Bytes{0xA0, 0x00, 0x03}));
    EXPECT_TRUE(client.closedByServer());
}

TEST_F(PhoneServerTest, SeveralObjectsInOneConnectionAreAllStored) {
    startPhone(Answer::accept);
    ObexClient client(port());
    ASSERT_EQ(client.exchange(connectRequest()), kSuccess);
    for (const char16_t* name : {u"one.txt", u"two.txt"}) {
        const auto packets = stationPackets(name, patternBytes(600));
        EXPECT_EQ(answersTo(client, packets), acceptedAnswers(packets.size()));
    }
    EXPECT_EQ(client.exchange(disconnectRequest()), kSuccess);
    EXPECT_EQ(entriesOf(phoneFolder()), (std::vector<std::string>{"one.txt", "two.txt"}));
}

struct RefusedCase {
    std::string what;
    std::vector<Bytes> packets;
    std::vector<std::uint8_t> answers;
};

std::vector<RefusedCase> refusedCases() {
    const Bytes body = patternBytes(40);
    const Bytes big = patternBytes(60000);
    return {
        {"a name climbing out of the inbox",
         {putPacket(true, {nameHeader(u"../x"), bodyHeader(body, true)})},
         {kForbidden}},
        {"a name with a folder",
         {putPacket(true, {nameHeader(u"a/b"), bodyHeader(body, true)})},
         {kForbidden}},
        {"the name ..",
         {putPacket(true, {nameHeader(u".."), bodyHeader(body, true)})},
         {kForbidden}},
        {"an empty name",
         {putPacket(true, {nameHeader(u""), bodyHeader(body, true)})},
         {kForbidden}},
        {"a name with an unpaired surrogate",
         {putPacket(true, {nameHeader(u"a\xD800.txt"), bodyHeader(body, true)})},
         {kBadRequest}},
        {"a name of an odd number of bytes",
         {putPacket(true, {header(0x01, {0x00, 0x61, 0x00}), bodyHeader(body, true)})},
         {kBadRequest}},
        {"a name refused in the second packet, after the body began",
         {putPacket(false, {bodyHeader(body, false)}),
          putPacket(true, {nameHeader(u"../../etc/x"), bodyHeader(body, true)})},
         {kContinue, kForbidden}},
        {"no name at all", {putPacket(true, {bodyHeader(body, true)})}, {kBadRequest}},
        {"a header that runs past the packet",
         {putPacket(true, {nameHeader(u"x.txt"), Bytes{0x49, 0x01, 0x00, 0x01}})},
         {kBadRequest}},
        {"fewer bytes than the Length header announced",
         {putPacket(true, {nameHeader(u"short.txt"), lengthHeader(41), bodyHeader(body, true)})},
         {kBadRequest}},
        {"a Length header above the largest object",
         {putPacket(false,
                    {nameHeader(u"huge.bin"), lengthHeader(200000), bodyHeader(body, false)})},
         {kTooLarge}},
        {"a body that grows past the largest object without a Length header",
         {putPacket(false, {nameHeader(u"huge.bin"), bodyHeader(big, false)}),
          putPacket(false, {bodyHeader(big, false)})},
         {kContinue, kTooLarge}},
        {"a PUT without any body, which asks to delete",
         {putPacket(true, {nameHeader(u"gone.txt")})},
         {kForbidden}},
    };
}

TEST_F(PhoneServerTest, BadObjectsAreRefusedAndNothingIsWritten) {
    startPhone(Answer::accept);
    for (const auto& c : refusedCases()) {
        SCOPED_TRACE(c.what);
        ObexClient client(port());
        ASSERT_EQ(client.exchange(connectRequest()), kSuccess);
        EXPECT_EQ(answersTo(client, c.packets), c.answers);
        EXPECT_TRUE(entriesOf(phoneFolder()).empty());

        // The refusal ended that object only: the next one on the same connection arrives.
        const auto good = stationPackets(u"after.txt", patternBytes(20));
        EXPECT_EQ(answersTo(client, good), acceptedAnswers(good.size()));
        EXPECT_EQ(client.exchange(disconnectRequest()), kSuccess);
        EXPECT_EQ(entriesOf(phoneFolder()), std::vector<std::string>{"after.txt"});
        std::filesystem::remove(phoneFolder() / "after.txt");
    }
    EXPECT_EQ(entriesOf(root.path()), std::vector<std::string>{"inbox"});
    EXPECT_EQ(entriesOf(inbox()), std::vector<std::string>{"001122AABBCC"});
}

TEST_F(PhoneServerTest, RefusingPhoneForbidsTheFirstPutAndStoresNothing) {
    startPhone(Answer::refuse);
    ObexClient client(port());
    const auto answers = pushLikeStation(client, u"promo.jpg", patternBytes(1000));
    EXPECT_EQ(answers, (std::vector<std::uint8_t>{kSuccess, kForbidden, kSuccess}));
    EXPECT_TRUE(entriesOf(phoneFolder()).empty());
    EXPECT_TRUE(events.has("00:11:22:AA:BB:CC refused promo.jpg"));
}

TEST_F(PhoneServerTest, SilentPhoneTakesTheConnectionButNeverAnswers) {
    startPhone(Answer::silent);
    ObexClient client(port());
    ASSERT_TRUE(client.isConnected());
    ASSERT_TRUE(client.send(connectRequest()));
    EXPECT_FALSE(client.receive(std::chrono::milliseconds(300)));
    ASSERT_TRUE(client.send(stationPackets(u"a.txt", patternBytes(10))[0]));
    EXPECT_FALSE(client.receive(std::chrono::milliseconds(300)));
    EXPECT_TRUE(entriesOf(phoneFolder()).empty());
}

TEST_F(PhoneServerTest, SlowPhoneWaitsBeforeEachAnswerAndStillStores) {
    startPhone(Answer::slow);
    ObexClient client(port());
    const auto started = std::chrono::steady_clock::now();
    const auto answers = pushLikeStation(client, u"slow.txt", patternBytes(50));
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(answers, (std::vector<std::uint8_t>{kSuccess, kSuccess, kSuccess}));
    EXPECT_GE(took, 3 * quickLimits().slowDelay);
    EXPECT_EQ(contentsOf(phoneFolder() / "slow.txt"), patternBytes(50));
}

TEST_F(PhoneServerTest, ClientLeavingMidObjectLeavesNoPartialFile) {
    startPhone(Answer::accept);
    const auto packets = stationPackets(u"cut.bin", patternBytes(5000));
    {
        ObexClient client(port());
        ASSERT_EQ(client.exchange(connectRequest()), kSuccess);
        ASSERT_EQ(answersTo(client, {packets[0], packets[1]}),
                  (std::vector<std::uint8_t>{kContinue, kContinue}));
        // Half of the next packet, then the connection goes.
        ASSERT_TRUE(client.send(slice(packets[2], 0, 100)));
    }
    server->stop();  // joins the connection's thread, so its clean-up has run
    EXPECT_TRUE(entriesOf(phoneFolder()).empty());
    EXPECT_TRUE(events.has("00:11:22:AA:BB:CC dropped cut.bin (connection ended mid-object)"));
}

TEST_F(PhoneServerTest, StopEndsOpenConnectionsAndDiscardsUnfinishedObjects) {
    startPhone(Answer::accept);
    ObexClient busy(port());
    ObexClient idle(port());
    ASSERT_EQ(busy.exchange(connectRequest()), kSuccess);
    ASSERT_EQ(idle.exchange(connectRequest()), kSuccess);
    ASSERT_EQ(busy.exchange(stationPackets(u"open.bin", patternBytes(2000))[0]), kContinue);

    server->stop();
    EXPECT_TRUE(busy.closedByServer());
    EXPECT_TRUE(idle.closedByServer());
    EXPECT_TRUE(entriesOf(phoneFolder()).empty());
}

TEST_F(PhoneServerTest, ConcurrentPushesToOnePhoneAreAllStored) {
    startPhone(Answer::accept);
    constexpr int pushers = 4;
    std::vector<std::vector<std::uint8_t>> answers(pushers);
    std::vector<std::thread> threads;
    for (int i = 0; i < pushers; ++i) {
        threads.emplace_back([this, i, &answers] {
            const std::string name = "file" + std::to_string(i) + ".bin";
            ObexClient client(port());
            answers[static_cast<std::size_t>(i)] = pushLikeStation(
                client, std::u16string(name.begin(), name.end()), patternBytes(3000 + 100 * i));
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (int i = 0; i < pushers; ++i) {
        SCOPED_TRACE(i);
        const std::string name = "file" + std::to_string(i) + ".bin";
        EXPECT_EQ(answers[static_cast<std::size_t>(i)].back(), kSuccess);
        EXPECT_EQ(contentsOf(phoneFolder() / name), patternBytes(3000 + 100 * i));
    }
    EXPECT_EQ(entriesOf(phoneFolder()).size(), static_cast<std::size_t>(pushers));
}

TEST_F(PhoneServerTest, PortInUseIsReportedWithThePort) {
    startPhone(Answer::accept);
    phonesim::PhoneServer second({0x0A0B0C0D0E0FULL, "127.0.0.1", port(), Answer::accept}, inbox(),
                                 events.sink());
    const auto problem = second.start();
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("port " + std::to_string(port())), std::string::npos) << *problem;
    EXPECT_NE(problem->find("in use"), std::string::npos) << *problem;
}

TEST(NameCheck, OnlyPlainFileNamesPass) {
    const struct {
        std::string name;
        bool acceptable;
    } cases[] = {
        {"promo.jpg", true},
        {"Gr\u00FC\u00DFe.txt", true},
        {"a b.txt", true},
        {"", false},
        {"..", false},
        {".", false},
        {".hidden", false},
        {"../x", false},
        {"a/b", false},
        {"a\\b", false},
        {"a..b", false},
        {"line\nbreak", false},
        {std::string(255, 'n'), true},
        {std::string(256, 'n'), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(!phonesim::nameProblem(c.name), c.acceptable) << c.name;
    }
}

TEST(CompactAddress, TwelveUpperCaseDigitsMostSignificantFirst) {
    EXPECT_EQ(phonesim::compactAddress(0x0016DB0A1B2CULL), "0016DB0A1B2C");
    EXPECT_EQ(phonesim::compactAddress(0xFFFFFFFFFFFFULL), "FFFFFFFFFFFF");
}

}  // namespace
}  // namespace phonesim_test
