// The library as the program sees it: loaded with dlopen, pushing into a simulated world.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

}  // namespace
