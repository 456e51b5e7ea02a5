// The library as the program sees it: loaded with dlopen, pushing into a simulated world.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "fakephone.h"
#include "obexalibrary.h"
#include "testfiles.h"

using namespace obexatest;

namespace {

const std::string phoneAddress = "00:16:DB:0A:1B:2C";

class ObexaExports : public ::testing::Test {
  protected:
    std::int32_t pushOnce(ObexaPushFunction push, const std::filesystem::path& file,
                          const std::u16string& name = u"promo.jpg") {
        return push(addressLowOf(phoneAddress), addressHighOf(phoneAddress), "image/jpeg",
                    name.c_str(), wide(file).c_str());
    }
    std::unique_ptr<SimWorld> worldWith(const FakePhone& phone) {
        return std::make_unique<SimWorld>(
            folder.path() / "world.ini",
            std::vector<SimPhone>{
                {phoneAddress, true, "127.0.0.1:" + std::to_string(phone.port())}});
    }

    TempFolder folder;
    ObexaLibrary obexa;
};

TEST_F(ObexaExports, OnlyTheDocumentedFunctionsAreVisible) {
    EXPECT_EQ(obexa.symbol("_ZN5obexa16responseCodeTextEh"), nullptr);
    EXPECT_EQ(
        obexa.symbol("_ZN8simworld4loadERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"),
        nullptr);
}

TEST_F(ObexaExports, TwoCallFormKeepsThePushUntilItIsEnded) {
    FakePhone phone(FakePhone::Mode::tcp);
    const auto world = worldWith(phone);
    EXPECT_EQ(obexa.getFileStatus2(), -1) << "no push yet";
    EXPECT_EQ(pushOnce(obexa.getFileStatus1, folder.file("promo.jpg", 1000)), 3);
    EXPECT_EQ(obexa.getFileStatus2(), 7);
    EXPECT_EQ(obexa.getFileStatusE(), 3);
    EXPECT_EQ(obexa.getFileStatusE(), 0) << "the push ended with the first call";
    EXPECT_EQ(obexa.getFileStatus2(), -1);
    EXPECT_EQ(phone.receivedObject(), patternBytes(1000));
}

TEST_F(ObexaExports, OneCallFormReportsDeliveryAndLeavesTheCurrentPushAlone) {
    FakePhone accepting(FakePhone::Mode::tcp);
    auto world = worldWith(accepting);
    EXPECT_EQ(pushOnce(obexa.getFileStatusM, folder.file("promo.jpg", 1000)), 1);
    EXPECT_EQ(obexa.getFileStatus2(), -1);

    FakePhone refusing(FakePhone::Mode::tcp, {{3, reply({0xC3, 0x00, 0x03})}});
    world.reset();
    world = worldWith(refusing);
    EXPECT_EQ(pushOnce(obexa.getFileStatusM, folder.file("promo.jpg", 1000)), 0);
}

TEST_F(ObexaExports, FileThatDoesNotOpenDeliversNothing) {
    const SimWorld world(folder.path() / "world.ini", {{phoneAddress, true, "127.0.0.1:1"}});
    const auto missing = folder.path() / "missing.jpg";
    EXPECT_EQ(pushOnce(obexa.getFileStatusM, missing), 0);
    EXPECT_EQ(pushOnce(obexa.getFileStatusM, folder.file("empty.jpg", 0)), 0);
    EXPECT_EQ(pushOnce(obexa.getFileStatus1, missing), 0);
    EXPECT_EQ(obexa.getFileStatus2(), 14);
    EXPECT_EQ(obexa.getFileStatusE(), 0);
    EXPECT_EQ(obexa.getFileStatusM(0, 0, nullptr, nullptr, nullptr), 0);
}

struct UnreachableCase {
    const char* what;
    std::vector<SimPhone> phones;
    bool withRadio;
};

class ObexaUnreachable : public ::testing::TestWithParam<UnreachableCase> {};

TEST_P(ObexaUnreachable, PhonesThatCannotBeReachedFailToConnect) {
    TempFolder folder;
    ObexaLibrary obexa;
    const SimWorld world(folder.path() / "world.ini", GetParam().phones, GetParam().withRadio);
    const auto file = wide(folder.file("promo.jpg", 1000));
    const auto low = addressLowOf(phoneAddress);
    const auto high = addressHighOf(phoneAddress);
    EXPECT_EQ(obexa.getFileStatus1(low, high, "image/jpeg", u"promo.jpg", file.c_str()), 3);
    EXPECT_EQ(obexa.getFileStatus2(), 3);
    EXPECT_EQ(obexa.getFileStatusE(), 0);
    EXPECT_EQ(obexa.getFileStatusM(low, high, "image/jpeg", u"promo.jpg", file.c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Worlds, ObexaUnreachable,
    ::testing::Values(
        UnreachableCase{"outOfRange", {{phoneAddress, false, "127.0.0.1:1"}}, true},
        UnreachableCase{"noEndpoint", {{phoneAddress, true, ""}}, true},
        UnreachableCase{"unknownPhone", {{"00:11:22:33:44:55", true, "127.0.0.1:1"}}, true},
        UnreachableCase{"nothingListens", {{phoneAddress, true, "127.0.0.1:1"}}, true},
        UnreachableCase{"noRadio", {{phoneAddress, true, "127.0.0.1:1"}}, false}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ObexaExports, LoggingWritesOneFilePerAddressAndName) {
    FakePhone first(FakePhone::Mode::tcp);
    auto world = worldWith(first);
    const std::u16string logFolder = wide(folder.path()) + u"/";
    EXPECT_EQ(obexa.startLogging(std::u16string(256, u'x').c_str()), 1);
    EXPECT_EQ(obexa.startLogging(nullptr), 1);
    ASSERT_EQ(obexa.startLogging(logFolder.c_str()), 0);
    EXPECT_EQ(pushOnce(obexa.getFileStatusM, folder.file("promo.jpg", 1000)), 1);
    const auto log = folder.path() / "0016DB0A1B2C_promo.jpg.txt";
    EXPECT_THAT(readText(log), ::testing::HasSubstr("connect succeeded\r\n"));

    std::filesystem::remove(log);
    obexa.stopLogging();
    FakePhone second(FakePhone::Mode::tcp);
    world.reset();
    world = worldWith(second);
    EXPECT_EQ(pushOnce(obexa.getFileStatusM, folder.file("promo.jpg", 1000)), 1);
    EXPECT_FALSE(std::filesystem::exists(log));
}

TEST_F(ObexaExports, ASeparatorInTheSendNameKeepsTheLogInItsFolder) {
    FakePhone phone(FakePhone::Mode::tcp);
    auto world = worldWith(phone);
    std::filesystem::create_directory(folder.path() / "logs");
    const std::u16string logFolder = wide(folder.path() / "logs") + u"/";
    ASSERT_EQ(obexa.startLogging(logFolder.c_str()), 0);
    pushOnce(obexa.getFileStatusM, folder.file("promo.jpg", 1000), u"../escape.jpg");
    obexa.stopLogging();
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "logs" / "0016DB0A1B2C_.._escape.jpg.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "escape.jpg.txt"));
}

struct SettingCase {
    const char* what;
    ObexaSettingFunction ObexaLibrary::*setter;
    std::int32_t value;
    std::int32_t result;  // 0 taken, 1 refused
};

class ObexaSettings : public ::testing::TestWithParam<SettingCase> {};

TEST_P(ObexaSettings, ValuesOutsideTheirRangeAreRefused) {
    ObexaLibrary obexa;
    const SettingCase& c = GetParam();
    EXPECT_EQ((obexa.*c.setter)(c.value), c.result);
    EXPECT_EQ(obexa.setObexPacket(430), 0);
    EXPECT_EQ(obexa.setAnswerWait(9), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, ObexaSettings,
    ::testing::Values(SettingCase{"packetZero", &ObexaLibrary::setObexPacket, 0, 1},
                      SettingCase{"packet254", &ObexaLibrary::setObexPacket, 254, 1},
                      SettingCase{"packet255", &ObexaLibrary::setObexPacket, 255, 0},
                      SettingCase{"packet65535", &ObexaLibrary::setObexPacket, 65535, 0},
                      SettingCase{"packet65536", &ObexaLibrary::setObexPacket, 65536, 1},
                      SettingCase{"packetNegative", &ObexaLibrary::setObexPacket, -430, 1},
                      SettingCase{"waitZero", &ObexaLibrary::setAnswerWait, 0, 1},
                      SettingCase{"wait1", &ObexaLibrary::setAnswerWait, 1, 0},
                      SettingCase{"wait120", &ObexaLibrary::setAnswerWait, 120, 0},
                      SettingCase{"wait121", &ObexaLibrary::setAnswerWait, 121, 1}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ObexaExports, LaterPushesUseTheChosenPacketLength) {
    FakePhone phone(FakePhone::Mode::tcp, {{0, reply(connectAnswer(65535))}});
    const auto world = worldWith(phone);
    ASSERT_EQ(obexa.setObexPacket(32767), 0);
    const std::int32_t delivered = pushOnce(obexa.getFileStatusM, folder.file("big.jpg", 100000));
    obexa.setObexPacket(430);
    EXPECT_EQ(delivered, 1);
    const auto requests = phone.requests();
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(requests[1].size(), 32767u) << "the first PUT";
    EXPECT_EQ(phone.receivedObject(), patternBytes(100000));
}

// The phones of the outcome table: a scripted phone over TCP unless the world says otherwise.
enum class Peer { scripted, noService, outOfRange, unknown };

struct ReportCase {
    const char* what;
    Peer peer;
    std::map<int, Answer> script;
    std::optional<std::size_t> size;  // none: the file is missing
    ObexaOutcome outcome;
    std::int32_t packets;
    std::int32_t packetsAccepted;
    std::uint32_t minDurationMs;
};

class ObexaReport : public ::testing::TestWithParam<ReportCase> {
  protected:
    std::vector<SimPhone> worldFor(const ReportCase& c, const FakePhone* phone) const {
        switch (c.peer) {
            case Peer::scripted:
                return {{phoneAddress, true, "127.0.0.1:" + std::to_string(phone->port())}};
            case Peer::noService:
                return {{phoneAddress, true, ""}};
            case Peer::outOfRange:
                return {{phoneAddress, false, "127.0.0.1:1"}};
            case Peer::unknown:
                return {{"00:11:22:33:44:55", true, "127.0.0.1:1"}};
        }
        return {};
    }

    TempFolder folder;
    ObexaLibrary obexa;
};

// Each push is judged by the report of the thread that ran it; the file's bytes inside the
// accepted packets are counted whole, never beyond the file.
TEST_P(ObexaReport, EachPhoneBehaviourEndsInItsOutcome) {
    const ReportCase& c = GetParam();
    std::optional<FakePhone> phone;
    if (c.peer == Peer::scripted) {
        phone.emplace(FakePhone::Mode::tcp, c.script);
    }
    const SimWorld world(folder.path() / "world.ini", worldFor(c, phone ? &*phone : nullptr));
    const auto file = c.size ? folder.file("promo.jpg", *c.size) : folder.path() / "missing.jpg";
    ASSERT_EQ(obexa.setAnswerWait(1), 0);
    const std::int32_t result =
        obexa.getFileStatusM(addressLowOf(phoneAddress), addressHighOf(phoneAddress), "image/jpeg",
                             u"promo.jpg", wide(file).c_str());
    obexa.setAnswerWait(9);

    ObexaPushReport report{};
    ASSERT_EQ(obexa.getPushReport(&report), 0);
    EXPECT_EQ(report.outcome, c.outcome);
    EXPECT_EQ(result, c.outcome == obexaDelivered ? 1 : 0);
    EXPECT_EQ(report.packets, c.packets);
    EXPECT_EQ(report.packetsAccepted, c.packetsAccepted);
    EXPECT_EQ(report.fileBytes, c.size.value_or(0));
    if (c.packetsAccepted == 0) {
        EXPECT_EQ(report.bytesAccepted, 0u);
    } else if (c.packetsAccepted == c.packets) {
        EXPECT_EQ(report.bytesAccepted, report.fileBytes);
    } else {
        EXPECT_GT(report.bytesAccepted, 0u);
        EXPECT_LT(report.bytesAccepted, report.fileBytes);
    }
    EXPECT_GE(report.durationMs, c.minDurationMs);
    EXPECT_LT(report.durationMs, c.minDurationMs + 5000);
}

const Bytes forbiddenAnswer{0xC3, 0x00, 0x03};

INSTANTIATE_TEST_SUITE_P(
    Phones, ObexaReport,
    ::testing::Values(
        ReportCase{"accepts", Peer::scripted, {}, 1000, obexaDelivered, 3, 3, 0},
        ReportCase{"refusesTheObject",
                   Peer::scripted,
                   {{1, reply(forbiddenAnswer)}},
                   1000,
                   obexaRefused,
                   3,
                   0,
                   0},
        ReportCase{"refusesHalfWay",
                   Peer::scripted,
                   {{2, reply(forbiddenAnswer)}},
                   1000,
                   obexaRefused,
                   3,
                   1,
                   0},
        ReportCase{"refusesTheConnection",
                   Peer::scripted,
                   {{0, reply(forbiddenAnswer)}},
                   1000,
                   obexaRefused,
                   3,
                   0,
                   0},
        ReportCase{"staysSilent", Peer::scripted, {{1, silence()}}, 1000, obexaNoAnswer, 3, 0, 900},
        ReportCase{"hangsUp",
                   Peer::scripted,
                   {{2, closeConnection()}},
                   1000,
                   obexaConnectionFailed,
                   3,
                   1,
                   0},
        ReportCase{"offersNoObjectPush", Peer::noService, {}, 1000, obexaNoService, 3, 0, 0},
        ReportCase{"outOfRange", Peer::outOfRange, {}, 1000, obexaConnectionFailed, 3, 0, 0},
        ReportCase{"unknown", Peer::unknown, {}, 1000, obexaConnectionFailed, 3, 0, 0},
        ReportCase{"fileMissing", Peer::noService, {}, std::nullopt, obexaFileUnusable, 0, 0, 0},
        ReportCase{"fileEmpty", Peer::noService, {}, 0, obexaFileUnusable, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(ObexaExports, NoReportBeforeTheThreadsFirstPushOrIntoNowhere) {
    ObexaPushReport report{};
    report.packets = 77;
    EXPECT_EQ(obexa.getPushReport(&report), 1);
    EXPECT_EQ(report.packets, 77) << "left untouched";
    EXPECT_EQ(obexa.getPushReport(nullptr), 1);
}

TEST_F(ObexaExports, TwoCallFormFillsTheReportToo) {
    FakePhone phone(FakePhone::Mode::tcp);
    const auto world = worldWith(phone);
    ASSERT_EQ(pushOnce(obexa.getFileStatus1, folder.file("promo.jpg", 1000)), 3);
    ObexaPushReport report{};
    ASSERT_EQ(obexa.getPushReport(&report), 0);
    EXPECT_EQ(obexa.getFileStatusE(), 3) << "the report leaves the current push alone";
    EXPECT_EQ(report.outcome, obexaDelivered);
    EXPECT_EQ(report.packetsAccepted, 3);
}

struct ProgressStep {
    std::uint64_t bytesAccepted;
    std::uint64_t fileBytes;
};

void recordStep(void* context, std::uint64_t bytesAccepted, std::uint64_t fileBytes) {
    static_cast<std::vector<ProgressStep>*>(context)->push_back({bytesAccepted, fileBytes});
}

TEST_F(ObexaExports, ProgressRisesWithEveryAcceptedPacketToTheFilesSize) {
    constexpr std::uint64_t size = 5000;
    std::vector<ProgressStep> steps;
    obexa.setPushProgress(&recordStep, &steps);
    {
        FakePhone phone(FakePhone::Mode::tcp);
        const auto world = worldWith(phone);
        ASSERT_EQ(pushOnce(obexa.getFileStatusM, folder.file("promo.jpg", size)), 1);
    }
    ObexaPushReport report{};
    ASSERT_EQ(obexa.getPushReport(&report), 0);
    ASSERT_EQ(steps.size(), static_cast<std::size_t>(report.packets));
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].fileBytes, size);
        EXPECT_GT(steps[i].bytesAccepted, i == 0 ? 0 : steps[i - 1].bytesAccepted) << i;
    }
    EXPECT_EQ(steps.back().bytesAccepted, size);

    steps.clear();
    {
        FakePhone refusing(FakePhone::Mode::tcp, {{4, reply(forbiddenAnswer)}});
        const auto world = worldWith(refusing);
        ASSERT_EQ(pushOnce(obexa.getFileStatusM, folder.file("promo.jpg", size)), 0);
    }
    ASSERT_EQ(obexa.getPushReport(&report), 0);
    ASSERT_EQ(steps.size(), 3u) << "the packets before the refused one";
    EXPECT_EQ(steps.back().bytesAccepted, report.bytesAccepted);

    obexa.setPushProgress(nullptr, &steps);
    steps.clear();
    FakePhone phone(FakePhone::Mode::tcp);
    const auto world = worldWith(phone);
    ASSERT_EQ(pushOnce(obexa.getFileStatusM, folder.file("promo.jpg", size)), 1);
    EXPECT_TRUE(steps.empty()) << "no more reports once the function is taken away";
}

}  // namespace
