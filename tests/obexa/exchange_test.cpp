// The push exchange against a scripted phone over a socketpair, with shortened waits.

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "fakephone.h"
#include "libs/obexa/btsender.h"
#include "libs/obexa/socketio.h"
#include "testfiles.h"

using namespace obexatest;
using obexa::CBTSender;
using obexa::ConnectOutcome;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr std::uint32_t addressLow = 0xDB0A1B2C;
constexpr std::uint32_t addressHigh = 0x0016;
const obexa::Waits shortWaits{std::chrono::milliseconds(300), std::chrono::milliseconds(300),
                              std::chrono::milliseconds(300)};

class PairTransport : public obexa::CObexTransport {
  public:
    explicit PairTransport(int end) : socket(end) {}
    ConnectOutcome connect(std::uint64_t address) override {
        seenAddress = address;
        ::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL, 0) | O_NONBLOCK);
        return {ConnectOutcome::Kind::connected, socket, 0};
    }
    std::uint64_t seenAddress = 0;

  private:
    int socket;
};

class FailingTransport : public obexa::CObexTransport {
  public:
    explicit FailingTransport(ConnectOutcome result) : outcome(result) {}
    ConnectOutcome connect(std::uint64_t) override {
        ++calls;
        return outcome;
    }
    int calls = 0;

  private:
    ConnectOutcome outcome;
};

struct PushResult {
    std::int32_t count = 0;
    std::int32_t status = 0;
    std::int32_t lastAnswered = 0;
    ObexaPushReport report{};
    std::string log;
};

PushResult pushTo(obexa::CObexTransport& transport, const std::filesystem::path& file,
                  const TempFolder& logs) {
    PushResult result;
    {
        CBTSender sender(transport, addressLow, addressHigh, shortWaits);
        sender.startLog({true, wide(logs.path()) + u"/"}, u"promo.jpg");
        result.count = sender.push("image/jpeg", u"promo.jpg", wide(file));
        result.status = sender.status();
        result.lastAnswered = sender.lastAnsweredPacket();
        result.report = sender.report();
    }
    result.log = readText(logs.path() / "0016DB0A1B2C_promo.jpg.txt");
    return result;
}

Bytes oversizeConnectAnswer() {
    Bytes answer{0xA0, 0x03, 0xE8, 0x10, 0x00, 0x04, 0x00};
    answer.resize(1000, 0x55);
    return answer;
}

struct ExchangeCase {
    const char* what;
    ObexaOutcome ended;
    std::size_t size;
    std::map<int, Answer> script;
    std::int32_t status;
    std::int32_t lastAnswered;
    std::vector<const char*> logged;
};

class PushExchange : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(PushExchange, PhoneAnswersDecideStatusAndAcceptedPackets) {
    const ExchangeCase& c = GetParam();
    TempFolder folder;
    FakePhone phone(FakePhone::Mode::socketPair, c.script);
    PairTransport transport(phone.takeClientSocket());
    const auto file = folder.file("promo.jpg", c.size);
    const PushResult result = pushTo(transport, file, folder);
    EXPECT_EQ(transport.seenAddress, 0x0016DB0A1B2Cull);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.lastAnswered, c.lastAnswered);
    EXPECT_EQ(result.report.outcome, c.ended);
    EXPECT_EQ(result.report.packetsAccepted, c.lastAnswered);
    for (const char* line : c.logged) {
        EXPECT_THAT(result.log, HasSubstr(line));
    }
    const auto requests = phone.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front()[0], 0x80);
    if (c.status == obexa::status::disconnected) {
        EXPECT_EQ(requests.back(), (Bytes{0x81, 0x00, 0x03})) << "DISCONNECT ends every exchange";
    }
}

const Bytes forbidden{0xC3, 0x00, 0x03};

INSTANTIATE_TEST_SUITE_P(
    Script, PushExchange,
    ::testing::Values(
        ExchangeCase{"allAccepted",
                     obexaDelivered,
                     1000,
                     {},
                     7,
                     3,
                     {"received successfully\n", "received go on\n",
                      "received OK as data response??\n", "810003\n", "closesocket\n"}},
        ExchangeCase{"refusedMiddle",
                     obexaRefused,
                     1000,
                     {{2, reply(forbidden)}},
                     7,
                     1,
                     {"der ResponseCode Forbidden - operation is understood but refused\n",
                      "kein go_on gekommen\n"}},
        ExchangeCase{
            "refusedLast", obexaRefused, 1000, {{3, reply(forbidden)}}, 7, 2, {"Forbidden"}},
        ExchangeCase{
            "refusedOnlyPacket", obexaRefused, 100, {{1, reply(forbidden)}}, 7, 0, {"Forbidden"}},
        ExchangeCase{"continueOnLastIsNotSuccess",
                     obexaRefused,
                     100,
                     {{1, reply({0x90, 0x00, 0x03})}},
                     7,
                     0,
                     {"received go on\n"}},
        ExchangeCase{"noConnectAnswer",
                     obexaNoAnswer,
                     1000,
                     {{0, silence()}},
                     7,
                     0,
                     {"keine Antwort gekommen\n", "kein A0 gekommen\n"}},
        ExchangeCase{"continueToConnect",
                     obexaRefused,
                     1000,
                     {{0, reply({0x90, 0x00, 0x03})}},
                     7,
                     0,
                     {"received go_on as connect response??\n"}},
        ExchangeCase{
            "connectRefused", obexaRefused, 1000, {{0, reply(forbidden)}}, 7, 0, {"Forbidden"}},
        ExchangeCase{"silenceAfterPut",
                     obexaNoAnswer,
                     1000,
                     {{2, silence()}},
                     7,
                     1,
                     {"keine Antwort gekommen\n", "kein receive success\n"}},
        ExchangeCase{"silentDisconnect",
                     obexaDelivered,
                     100,
                     {{2, silence()}},
                     9,
                     1,
                     {"disco kein A0 gekommen\n"}},
        ExchangeCase{"closedMidPush",
                     obexaConnectionFailed,
                     1000,
                     {{2, closeConnection()}},
                     8,
                     1,
                     {"Connection closed\n", "kein receive success\n", "send failed: 32\n"}},
        ExchangeCase{"splitAnswers",
                     obexaDelivered,
                     1000,
                     {{0, splitReply({0xA0, 0x00, 0x07, 0x10, 0x00, 0x04, 0x00})},
                      {1, splitReply({0x90, 0x00, 0x03})}},
                     7,
                     3,
                     {"Bytes received: 7\n"}},
        ExchangeCase{"oversizeAnswer",
                     obexaDelivered,
                     1000,
                     {{0, reply(oversizeConnectAnswer())}},
                     7,
                     3,
                     {"Bytes received: 1000\n", "die Packlen 1000\n"}},
        ExchangeCase{"lyingLengthField",
                     obexaNoAnswer,
                     1000,
                     {{1, reply({0x90, 0x00, 0x10})}},
                     7,
                     0,
                     {"900010.\n", "keine Antwort gekommen\n"}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(PushExchangeLog, SuccessfulTwoPacketPushWritesTheTraceInOrder) {
    TempFolder folder;
    FakePhone phone(FakePhone::Mode::socketPair);
    PairTransport transport(phone.takeClientSocket());
    const auto file = folder.file("promo.jpg", 500);
    const PushResult result = pushTo(transport, file, folder);
    ASSERT_EQ(result.count, 2);
    const std::vector<std::string> order{"The file was opened\n",
                                         "Reading bytes\n",
                                         "connection time:",
                                         "connect succeeded\r\n",
                                         "80001110000",
                                         "A0000710000400.\n",
                                         "Bytes received: 7\n",
                                         "received successfully\n",
                                         "der ResponseCode OK Success\n",
                                         "die Maxpacklen 1024\n",
                                         "Reading bytes\n",
                                         "900003.\n",
                                         "received go on\n",
                                         "Reading bytes\n",
                                         "A00003.\n",
                                         "received OK as data response??\n",
                                         "kein go_on gekommen\n",
                                         "810003\n",
                                         "closesocket\n",
                                         " ist 500 lang und braucht 2 pakete.\n"};
    std::size_t at = 0;
    for (const std::string& piece : order) {
        const std::size_t found = result.log.find(piece, at);
        ASSERT_NE(found, std::string::npos) << "'" << piece << "' missing after " << at << " in\n"
                                            << result.log;
        at = found + piece.size();
    }
    EXPECT_EQ(phone.receivedObject(), patternBytes(500));
}

// The PUT requests among everything the phone read.
std::vector<Bytes> putRequests(const std::vector<Bytes>& requests) {
    std::vector<Bytes> puts;
    for (const Bytes& request : requests) {
        if (request[0] == 0x02 || request[0] == 0x82) {
            puts.push_back(request);
        }
    }
    return puts;
}

struct PacketLengthCase {
    const char* what;
    Bytes connectAnswer;
    std::int32_t packetLength;  // the operator's setting
    std::size_t expected;       // the length of every PUT packet but the last
};

class PacketLength : public ::testing::TestWithParam<PacketLengthCase> {};

TEST_P(PacketLength, PacketsNeverExceedWhatThePhoneAnnouncedAndTheObjectArrivesWhole) {
    const PacketLengthCase& c = GetParam();
    constexpr std::size_t size = 100000;
    TempFolder folder;
    FakePhone phone(FakePhone::Mode::socketPair, {{0, reply(c.connectAnswer)}});
    PairTransport transport(phone.takeClientSocket());
    const auto file = folder.file("promo.jpg", size);
    CBTSender sender(transport, addressLow, addressHigh, shortWaits, c.packetLength);
    const std::int32_t count = sender.push("image/jpeg", u"promo.jpg", wide(file));

    const auto puts = putRequests(phone.requests());
    ASSERT_GE(puts.size(), 2u);
    for (std::size_t i = 0; i + 1 < puts.size(); ++i) {
        ASSERT_EQ(puts[i].size(), c.expected) << "packet " << i + 1;
    }
    EXPECT_LE(puts.back().size(), c.expected);
    EXPECT_EQ(phone.receivedObject(), patternBytes(size));
    EXPECT_EQ(count, static_cast<std::int32_t>(puts.size())) << "the count of the packets sent";
    EXPECT_EQ(sender.lastAnsweredPacket(), count);
}

INSTANTIATE_TEST_SUITE_P(
    Announcements, PacketLength,
    ::testing::Values(
        PacketLengthCase{"announces255", connectAnswer(255), 430, 255},
        PacketLengthCase{"announces300", connectAnswer(300), 430, 300},
        PacketLengthCase{"announces430", connectAnswer(430), 430, 430},
        PacketLengthCase{"announces65535", connectAnswer(65535), 430, 430},
        PacketLengthCase{"announces65535Setting32767", connectAnswer(65535), 32767, 32767},
        PacketLengthCase{"announces1000Setting32767", connectAnswer(1000), 32767, 1000},
        PacketLengthCase{"setting65535", connectAnswer(65535), 65535, 65535},
        PacketLengthCase{"belowTheObexMinimum", connectAnswer(100), 430, 255},
        PacketLengthCase{"announcesZero", connectAnswer(0), 430, 255},
        PacketLengthCase{"announcesNothing", {0xA0, 0x00, 0x03}, 430, 255}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(PacketLengthDefaults, PhonesTakingMoreThan430SeeTheSameBytes) {
    TempFolder folder;
    const auto file = folder.file("promo.jpg", 5000);
    std::vector<std::vector<Bytes>> seen;
    for (const std::uint16_t announced : {430, 672, 1024, 65535}) {
        FakePhone phone(FakePhone::Mode::socketPair, {{0, reply(connectAnswer(announced))}});
        PairTransport transport(phone.takeClientSocket());
        CBTSender sender(transport, addressLow, addressHigh, shortWaits);
        sender.push("image/jpeg", u"promo.jpg", wide(file));
        seen.push_back(phone.requests());
    }
    for (const auto& requests : seen) {
        EXPECT_EQ(requests, seen.front());
    }
    const auto puts = putRequests(seen.front());
    ASSERT_EQ(puts.size(), 12u);
    EXPECT_EQ(puts.front().size(), 430u);
}

TEST(PacketLengthDefaults, ObjectWhoseHeadersDoNotFitTheSmallerPacketsIsNotSent) {
    TempFolder folder;
    FakePhone phone(FakePhone::Mode::socketPair, {{0, reply(connectAnswer(255))}});
    PairTransport transport(phone.takeClientSocket());
    const auto file = folder.file("promo.jpg", 1000);
    CBTSender sender(transport, addressLow, addressHigh, shortWaits);
    sender.startLog({true, wide(folder.path()) + u"/"}, u"long");
    // 120 code units: the Name header alone takes 245 bytes, which fits 430 but not 255.
    const std::int32_t count = sender.push("image/jpeg", std::u16string(120, u'n'), wide(file));
    EXPECT_GT(count, 0) << "the count stays, so the caller sees an unanswered push";
    EXPECT_EQ(sender.lastAnsweredPacket(), 0);
    EXPECT_EQ(sender.report().outcome, obexaFileUnusable);
    EXPECT_TRUE(putRequests(phone.requests()).empty());
    EXPECT_EQ(phone.requests().back(), (Bytes{0x81, 0x00, 0x03}));
    EXPECT_THAT(readText(folder.path() / "0016DB0A1B2C_long.txt"),
                HasSubstr("Objekt passt nicht in Pakete von 255 Bytes\n"));
}

// A user who takes 15 s to accept, with every wait scaled down twentyfold.
TEST(AnswerWait, SlowUserIsServedWithALongerWaitAndFailsWithTheDefault) {
    constexpr double scale = 0.05;
    const auto userDecides = std::chrono::milliseconds(750);
    for (const std::int32_t answerWait : {60, 9}) {
        SCOPED_TRACE(answerWait);
        TempFolder folder;
        FakePhone phone(FakePhone::Mode::socketPair,
                        {{1, delayedReply({0x90, 0x00, 0x03}, userDecides)}});
        PairTransport transport(phone.takeClientSocket());
        const auto file = folder.file("promo.jpg", 1000);
        obexa::PushSettings settings;
        settings.answerWait = answerWait;
        CBTSender sender(transport, addressLow, addressHigh, obexa::waitsFor(settings, scale));
        const std::int32_t count = sender.push("image/jpeg", u"promo.jpg", wide(file));
        const bool served = count > 0 && sender.lastAnsweredPacket() == count;
        EXPECT_EQ(served, answerWait == 60);
        EXPECT_EQ(phone.receivedObject() == patternBytes(1000), answerWait == 60);
    }
}

TEST(AnswerWait, OnlyTheFirstPutWaitsLonger) {
    obexa::PushSettings settings;
    settings.answerWait = 60;
    const obexa::Waits waits = obexa::waitsFor(settings);
    EXPECT_EQ(waits.firstPutAnswer, std::chrono::seconds(60));
    EXPECT_EQ(waits.readable, std::chrono::seconds(9));
    EXPECT_EQ(waits.writable, std::chrono::seconds(5));
    const obexa::Waits defaults = obexa::waitsFor({});
    EXPECT_EQ(defaults.firstPutAnswer, std::chrono::seconds(9));
}

struct ConnectFailureCase {
    const char* what;
    ObexaOutcome ended;
    ConnectOutcome outcome;
    std::int32_t status;
    const char* logged;
};

class PushConnectFailure : public ::testing::TestWithParam<ConnectFailureCase> {};

TEST_P(PushConnectFailure, FailedConnectionsEndThePushBeforeAnyRequest) {
    const ConnectFailureCase& c = GetParam();
    TempFolder folder;
    FailingTransport transport(c.outcome);
    const PushResult result = pushTo(transport, folder.file("promo.jpg", 1000), folder);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.report.outcome, c.ended);
    EXPECT_EQ(result.count, 3) << "the packet count is known before connecting";
    EXPECT_EQ(result.lastAnswered, 0);
    EXPECT_THAT(result.log, HasSubstr(c.logged));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, PushConnectFailure,
    ::testing::Values(ConnectFailureCase{"noSocket",
                                         obexaConnectionFailed,
                                         {ConnectOutcome::Kind::noSocket, -1, EMFILE},
                                         1,
                                         "Error at socket(): 24\n"},
                      ConnectFailureCase{"refused",
                                         obexaNoService,
                                         {ConnectOutcome::Kind::connectFailed, -1, ECONNREFUSED},
                                         3,
                                         "Err at connect(): 111\nConnection refused\ncloses"},
                      ConnectFailureCase{"noRadio",
                                         obexaConnectionFailed,
                                         {ConnectOutcome::Kind::connectFailed, -1, EAFNOSUPPORT},
                                         3,
                                         "Err at connect(): 97\n"},
                      ConnectFailureCase{"timedOut",
                                         obexaNoAnswer,
                                         {ConnectOutcome::Kind::connectFailed, -1, ETIMEDOUT},
                                         15,
                                         "Err at connect(): 110\n"},
                      ConnectFailureCase{"outOfRange",
                                         obexaNoAnswer,
                                         {ConnectOutcome::Kind::connectFailed, -1, EHOSTDOWN},
                                         15,
                                         "Err at connect(): 112\nHost is down\n"}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(PushRefusal, UnsendableObjectsAreRefusedWithoutConnecting) {
    TempFolder folder;
    FailingTransport transport({ConnectOutcome::Kind::connectFailed, -1, ECONNREFUSED});
    const PushResult empty = pushTo(transport, folder.file("promo.jpg", 0), folder);
    const PushResult missing = pushTo(transport, folder.path() / "missing.jpg", folder);
    EXPECT_EQ(transport.calls, 0);
    for (const PushResult& result : {empty, missing}) {
        EXPECT_EQ(result.status, obexa::status::fileRefused);
        EXPECT_EQ(result.report.outcome, obexaFileUnusable);
        EXPECT_EQ(result.count, 0);
    }
}

TEST(PushLog, NoLogWhenLoggingIsOffOrThePathDoesNotFit) {
    TempFolder folder;
    FakePhone phone(FakePhone::Mode::socketPair);
    PairTransport transport(phone.takeClientSocket());
    const auto file = folder.file("promo.jpg", 10);
    CBTSender longPath(transport, addressLow, addressHigh, shortWaits);
    longPath.startLog({true, wide(folder.path()) + u"/" + std::u16string(230, u'x')}, u"p.jpg");
    EXPECT_FALSE(longPath.logTarget().active());
    CBTSender off(transport, addressLow, addressHigh, shortWaits);
    off.startLog({false, wide(folder.path()) + u"/"}, u"p.jpg");
    EXPECT_EQ(off.push("", u"p.jpg", wide(file)), 1);
    EXPECT_EQ(off.lastAnsweredPacket(), 1);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "0016DB0A1B2C_p.jpg.txt"));
}

TEST(SocketIo, PartialSendsAreContinuedUntilEverythingIsSent) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    const Bytes big = patternBytes(1 << 20);
    Bytes arrived;
    std::thread reader([&] {
        std::uint8_t chunk[4096];
        ssize_t got = 0;
        while ((got = ::recv(ends[1], chunk, sizeof chunk, 0)) > 0) {
            arrived.insert(arrived.end(), chunk, chunk + got);
        }
    });
    const auto sent = obexa::sendAll(ends[0], big.data(), big.size(),
                                     obexa::SteadyClock::now() + std::chrono::seconds(30));
    ::shutdown(ends[0], SHUT_WR);
    reader.join();
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(sent.kind, obexa::SendResult::Kind::sent);
    EXPECT_EQ(arrived, big);
}

TEST(SocketIo, PeerThatNeverReadsMakesTheSendTimeOut) {
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
    const Bytes big = patternBytes(16 << 20);
    const auto sent = obexa::sendAll(ends[0], big.data(), big.size(),
                                     obexa::SteadyClock::now() + std::chrono::milliseconds(100));
    ::close(ends[0]);
    ::close(ends[1]);
    EXPECT_EQ(sent.kind, obexa::SendResult::Kind::notWritable);
}

}  // namespace
