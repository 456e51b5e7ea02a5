// Pushes for real: the object-push library in the simulated world, talking OBEX over loopback
// TCP to one phone that accepts and one that refuses the object; both end up in the device memory.

#include <gtest/gtest.h>

#include <cstdlib>

#include "backoffice/backoffice.h"
#include "outcomelog.h"
#include "scriptedphone.h"
#include "sending/sender.h"
#include "sendingfixture.h"
#include "worker/workerbase.h"

using namespace sendingtest;

namespace {

constexpr const char* obexaLibrary = NYVEX_BIN_DIR "/libObexa.so";
constexpr std::uint64_t accepting = 0x001122AABB01;
constexpr std::uint64_t refusing = 0x001122AABB02;

class RealPushTest : public SendingStation {
  protected:
    void SetUp() override {
        SendingStation::SetUp();
        station.write("world.ini",
                      "[radio]\naddress=00:1A:7D:DA:71:13\nname=Test\n"
                      "[phone1]\naddress=00:11:22:AA:BB:01\nname=Anna\ninrange=1\n"
                      "obex=127.0.0.1:" +
                          std::to_string(acceptingPhone.port()) +
                          "\n[phone2]\naddress=00:11:22:AA:BB:02\nname=Bo\ninrange=1\n"
                          "obex=127.0.0.1:" +
                          std::to_string(refusingPhone.port()) + "\n");
        ::setenv("NYVEX_SIMULATION", station.file("world.ini").c_str(), 1);
        blto::CBlueSync::setTimeScale(0.1);
    }
    void TearDown() override {
        blto::CBlueSync::setTimeScale(1.0);
        ::unsetenv("NYVEX_SIMULATION");
        SendingStation::TearDown();
    }

    // The outcomes of the accepting and the refusing phone's pushes, as the library reported
    // them: `size` bytes delivered, and the refused last packet.
    void expectOutcomes(btsend::PushKind kind, std::uint64_t size) {
        ASSERT_TRUE(outcomes.reach(2));
        const auto all = outcomes.all();
        ASSERT_EQ(all.size(), 2u);
        for (const btsend::PushOutcome& outcome : all) {
            const std::uint64_t address = outcome.device.record()->device.address;
            SCOPED_TRACE(address);
            EXPECT_EQ(outcome.kind, kind);
            EXPECT_EQ(outcome.delivered, address == accepting);
            EXPECT_EQ(outcome.report.outcome, address == accepting ? obexaDelivered : obexaRefused);
            EXPECT_EQ(outcome.report.fileBytes, size);
            EXPECT_EQ(outcome.report.packetsAccepted,
                      outcome.report.packets - (address == accepting ? 0 : 1));
            if (address == accepting) {
                EXPECT_EQ(outcome.report.bytesAccepted, size);
            } else {
                EXPECT_LT(outcome.report.bytesAccepted, size);
            }
        }
    }

    ScriptedPhone acceptingPhone{true};
    ScriptedPhone refusingPhone{false};
    platform::TimedMutex radioLock;
    CArrSyncMgr newDevices;
    OutcomeLog outcomes;
};

TEST_F(RealPushTest, TheAcceptingPhoneGetsTheFileAndTheRefusingOneCountsAsFailed) {
    backo::CBackOffice backOffice;
    backOffice.configure(3, false, false);
    backOffice.openStore(station.file("memory.arc"));
    btsend::CBtSender sender(radioLock, newDevices, campaigns(), obexaLibrary);
    sender.setServedRecorder(
        [&](const blto::CBtAdWCounter& device) { backOffice.markServed(device); });
    sender.setOutcomeRecorder(outcomes.recorder());
    ASSERT_TRUE(sender.isReady());
    ASSERT_EQ(sender.queueSighting(makeSighting(accepting)), 1);
    ASSERT_EQ(sender.queueSighting(makeSighting(refusing)), 2);
    sender.startPush();
    ASSERT_TRUE(waitUntil(
        [&] { return sender.counters().getSuccessful() + sender.counters().getFailed() == 2; },
        std::chrono::seconds(60)));
    EXPECT_EQ(sender.counters().getSuccessful(), 1);
    EXPECT_EQ(sender.counters().getFailed(), 1);
    EXPECT_EQ(acceptingPhone.body(), picture);
    EXPECT_EQ(acceptingPhone.type(), "image/jpeg");
    EXPECT_EQ(refusingPhone.body(), "");
    EXPECT_TRUE(backOffice.isKnown(*makeSighting(accepting)));
    EXPECT_TRUE(backOffice.isKnown(*makeSighting(refusing))) << "a refusal is served too";
    EXPECT_FALSE(backOffice.isKnown(*makeSighting(0x001122AABB03)));
    expectOutcomes(btsend::PushKind::normal, picture.size());
    EXPECT_TRUE(sender.pushesInFlight().snapshot().empty());
}

TEST_F(RealPushTest, TheRangeTestPushesThePictureAndCountsTheRefusalAsFailed) {
    writeTestPicture();
    btsend::CBtSender sender(radioLock, newDevices, campaigns(), obexaLibrary);
    sender.setOutcomeRecorder(outcomes.recorder());
    ASSERT_EQ(sender.queueRangeTest(makeSighting(accepting)), 0);
    ASSERT_EQ(sender.queueRangeTest(makeSighting(refusing)), 0);
    ASSERT_TRUE(waitUntil(
        [&] { return sender.counters().getSuccessful() + sender.counters().getFailed() == 2; },
        std::chrono::seconds(60)));
    EXPECT_EQ(sender.counters().getSuccessful(), 1);
    EXPECT_EQ(sender.counters().getFailed(), 1);
    EXPECT_EQ(acceptingPhone.body(), std::string(2883, 'G'));
    EXPECT_EQ(acceptingPhone.type(), "image/gif");
    expectOutcomes(btsend::PushKind::rangeTest, 2883);
}

}  // namespace
