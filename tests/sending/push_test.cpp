// The push dispatcher, its workers and the range-test thread against a stand-in library whose
// pushes the test holds and releases: one push per device at a time, outcomes counted oldest
// first, the radio lock held exactly while pushes run, every attempt recorded as served.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "fakeobexa.h"
#include "sending/pushthreadlist.h"
#include "sending/sender.h"
#include "sendingfixture.h"
#include "tests/common/logreader.h"
#include "worker/workerbase.h"

using namespace sendingtest;
using namespace std::chrono_literals;

namespace {

constexpr const char* fakeLibrary = NYVEX_TEST_DIR "/libsending_fakeobexa.so";
constexpr auto patience = 10s;

class PushTest : public SendingStation {
  protected:
    void SetUp() override {
        SendingStation::SetUp();
        fakeobexa::reset();
        blto::CBlueSync::setTimeScale(0.1);
        sender =
            std::make_unique<btsend::CBtSender>(radioLock, newDevices, campaigns(), fakeLibrary);
        sender->setServedRecorder([this](const blto::CBtAdWCounter& device) {
            std::lock_guard guard(servedLock);
            served.insert(device.record()->device.address);
        });
    }
    void TearDown() override {
        sender.reset();
        blto::CBlueSync::setTimeScale(1.0);
        SendingStation::TearDown();
    }

    std::set<std::uint64_t> servedDevices() {
        std::lock_guard guard(servedLock);
        return served;
    }
    bool countersReach(int successful, int failed) {
        return waitUntil([&] {
            return sender->counters().getSuccessful() == successful &&
                   sender->counters().getFailed() == failed;
        });
    }
    bool radioIsFree() {
        std::unique_lock probe(radioLock, std::defer_lock);
        return probe.try_lock_for(0ms);
    }

    platform::TimedMutex radioLock;
    CArrSyncMgr newDevices;
    std::unique_ptr<btsend::CBtSender> sender;
    std::mutex servedLock;
    std::set<std::uint64_t> served;
};

TEST_F(PushTest, PushesTheCampaignFileAndRecordsTheDevice) {
    ASSERT_TRUE(sender->isReady());
    ASSERT_TRUE(newDevices.addUnique(makeSighting(0xA1)));
    ASSERT_EQ(sender->queueSighting(makeSighting(0xA1)), 1);
    sender->startPush();
    ASSERT_TRUE(countersReach(1, 0));
    sender->stopPush();
    const auto pushes = fakeobexa::pushes();
    ASSERT_EQ(pushes.size(), 1u);
    EXPECT_EQ(pushes[0].low, 0xA1u);
    EXPECT_EQ(pushes[0].type, "image/jpeg");
    EXPECT_EQ(pushes[0].name, u"Promo.jpg");
    EXPECT_EQ(pushes[0].path, u"promo.jpg");
    EXPECT_EQ(servedDevices(), std::set<std::uint64_t>{0xA1});
    EXPECT_EQ(newDevices.count(), 0) << "the pushed device left the new-device queue";
}

TEST_F(PushTest, ARefusedPushStillMarksTheDeviceServedAndCountsAsFailed) {
    fakeobexa::script(0xB2, {0, 3, 2});
    ASSERT_EQ(sender->queueSighting(makeSighting(0xB2)), 1);
    sender->startPush();
    ASSERT_TRUE(countersReach(0, 1));
    EXPECT_EQ(servedDevices(), std::set<std::uint64_t>{0xB2});
}

TEST_F(PushTest, ACampaignErrorDuringAPushCountsAsFailedWithoutRecordingTheDevice) {
    auto noExtension = makeCampaign("Broken", "promo");
    station.write("promo", picture);
    auto job = std::make_unique<btsend::CSendJob>(*makeSighting(0xC3), *noExtension, false);
    ASSERT_EQ(sender->jobList().add(job), 1);
    sender->startPush();
    ASSERT_TRUE(countersReach(0, 1));
    EXPECT_TRUE(fakeobexa::pushes().empty());
    EXPECT_TRUE(servedDevices().empty());
}

TEST_F(PushTest, ASecondJobForADeviceWhosePushRunsIsDropped) {
    fakeobexa::hold(0xD4);
    ASSERT_EQ(sender->queueSighting(makeSighting(0xD4)), 1);
    sender->startPush();
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0xD4, patience));
    ASSERT_EQ(sender->queueSighting(makeSighting(0xD4)), 1);
    ASSERT_TRUE(waitUntil([&] { return sender->jobCount() == 0; }));
    fakeobexa::release(0xD4);
    ASSERT_TRUE(countersReach(1, 0));
    EXPECT_EQ(fakeobexa::pushes().size(), 1u);
}

// The operator changes and deletes the campaign while a slow phone's push is in flight and
// another job for it waits: both pushes send the campaign as it was when their job was made.
TEST_F(PushTest, PushesKeepTheirCampaignWhenItIsChangedOrDeletedMeanwhile) {
    fakeobexa::hold(0x61);
    ASSERT_EQ(sender->queueSighting(makeSighting(0x61)), 1);
    sender->startPush();
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0x61, patience));
    sender->stopPush();
    ASSERT_TRUE(sender->waitUntilPushStopped(patience));
    ASSERT_EQ(sender->queueSighting(makeSighting(0x62)), 1);

    promoCampaign->setValue4Key("sendfilename", "Changed");
    promoCampaign->setValue4Key("mediafile", "changed.jpg");
    manager.removeCampaign(promoCampaign);
    ASSERT_EQ(manager.getCount(), 0);

    sender->startPush();
    fakeobexa::release(0x61);
    ASSERT_TRUE(countersReach(2, 0));
    const auto pushes = fakeobexa::pushes();
    ASSERT_EQ(pushes.size(), 2u);
    for (const auto& push : pushes) {
        EXPECT_EQ(push.name, u"Promo.jpg") << push.low;
        EXPECT_EQ(push.path, u"promo.jpg") << push.low;
    }
}

TEST_F(PushTest, TheRadioLockIsHeldWhilePushesRunAndFreedWhenTheLastEnds) {
    fakeobexa::hold(0xE1);
    fakeobexa::hold(0xE2);
    sender->queueSighting(makeSighting(0xE1));
    sender->startPush();
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0xE1, patience));
    sender->queueSighting(makeSighting(0xE2));
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0xE2, patience)) << "pushes run side by side";
    EXPECT_FALSE(radioIsFree());
    EXPECT_TRUE(waitUntil([&] { return sender->counters().getActive() == 2; }));
    fakeobexa::release(0xE1);
    ASSERT_TRUE(countersReach(1, 0));
    EXPECT_FALSE(radioIsFree()) << "one push still runs";
    fakeobexa::release(0xE2);
    std::unique_lock scanner(radioLock, std::defer_lock);
    EXPECT_TRUE(scanner.try_lock_for(patience));
    EXPECT_TRUE(sender->isPushRunning());
}

TEST_F(PushTest, StoppingTheDispatcherReleasesTheRadioLock) {
    fakeobexa::hold(0xF1);
    sender->queueSighting(makeSighting(0xF1));
    sender->startPush();
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0xF1, patience));
    sender->stopPush();
    ASSERT_TRUE(waitUntil([&] { return !sender->isPushRunning(); }));
    EXPECT_TRUE(radioIsFree());
    fakeobexa::release(0xF1);
}

TEST_F(PushTest, DestroyingTheSenderWaitsForThePushesInFlight) {
    fakeobexa::hold(0x51);
    sender->queueSighting(makeSighting(0x51));
    sender->startPush();
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0x51, patience));
    std::atomic<bool> destroying{false};
    std::thread releaser([&] {
        while (!destroying) {
            std::this_thread::sleep_for(1ms);
        }
        fakeobexa::release(0x51);
    });
    destroying = true;
    sender.reset();
    EXPECT_EQ(fakeobexa::finishedCount(), 1) << "the push had returned before the sender went";
    releaser.join();
}

TEST_F(PushTest, OutcomesAreCollectedOldestFirst) {
    btsend::COppComponent component(sender->jobList(), newDevices, fakeLibrary);
    btsend::COppSendMgr workers;
    fakeobexa::hold(0x01);
    fakeobexa::hold(0x02);
    fakeobexa::script(0x02, {0, 3, 0});
    for (std::uint64_t address : {0x01, 0x02}) {
        auto worker = std::make_unique<btsend::CBlueWinThread>(
            std::make_unique<btsend::CSendJob>(*makeSighting(address), *promoCampaign, false),
            component);
        worker->start();
        workers.add(std::move(worker));
    }
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0x02, patience));
    EXPECT_TRUE(workers.hasDevice(0x02, 0));
    EXPECT_FALSE(workers.hasDevice(0x03, 0));
    fakeobexa::release(0x02);
    ASSERT_TRUE(fakeobexa::waitUntilFinished(1, patience));
    int successes = 0;
    int failures = 0;
    EXPECT_TRUE(workers.collect(successes, failures));
    EXPECT_EQ(successes + failures, 0) << "the newer worker waits for the older one";
    EXPECT_EQ(workers.count(), 2);
    fakeobexa::release(0x01);
    ASSERT_TRUE(fakeobexa::waitUntilFinished(2, patience));
    ASSERT_TRUE(waitUntil([&] { return !workers.collect(successes, failures); }));
    EXPECT_EQ(successes, 1);
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(workers.count(), 0);
}

TEST_F(PushTest, BindingTheLibraryHandsItTheOperatorsPushSettings) {
    config::current()->setString("obexpacket", "32767");
    config::current()->setString("answerwait", "60");
    fakeobexa::reset();
    {
        btsend::COppComponent component(sender->jobList(), newDevices, fakeLibrary);
        EXPECT_TRUE(component.isLoaded());
        EXPECT_EQ(fakeobexa::settings().packetLength, 32767);
        EXPECT_EQ(fakeobexa::settings().answerWait, 60);
    }
    config::current()->setString("obexpacket", "big");
    config::current()->deleteKey("answerwait");
    btsend::COppComponent component(sender->jobList(), newDevices, fakeLibrary);
    EXPECT_EQ(fakeobexa::settings().packetLength, 430);
    EXPECT_EQ(fakeobexa::settings().answerWait, 9);
    const std::string log = testing_support::errorLogText();
    EXPECT_NE(log.find("obexpacket 'big' is not a whole number from 255 to 65535, using 430"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("answerwait not found in ini file, using 9"), std::string::npos) << log;
}

TEST(RangeTestOutcome, OnlyAWholeObjectThatWasSentCountsAsDelivered) {
    struct Case {
        int packetCount;
        int lastAnswered;
        bool delivered;
    };
    const Case cases[] = {{3, 3, true}, {1, 1, true}, {3, 2, false}, {3, 0, false}, {0, 0, false}};
    for (const Case& c : cases) {
        EXPECT_EQ(btsend::CRTOppComp::isDelivered(c.packetCount, c.lastAnswered), c.delivered)
            << c.packetCount << " packets, " << c.lastAnswered << " answered";
    }
}

TEST_F(PushTest, RangeTestJobsArePushedOneByOneAndCounted) {
    writeTestPicture();
    fakeobexa::script(0x72, {1, 0, 0});
    ASSERT_EQ(sender->queueRangeTest(makeSighting(0x71)), 0);
    ASSERT_TRUE(countersReach(1, 0));
    ASSERT_EQ(sender->queueRangeTest(makeSighting(0x72)), 0);
    ASSERT_TRUE(countersReach(1, 1)) << "a file that did not open delivered nothing";
    EXPECT_EQ((servedDevices()), (std::set<std::uint64_t>{0x71, 0x72}));
    const auto pushes = fakeobexa::pushes();
    ASSERT_EQ(pushes.size(), 2u);
    EXPECT_EQ(pushes[0].type, "image/gif");
    EXPECT_EQ(pushes[0].name.size(), 12u) << "a random name of 8 characters and .gif";
    EXPECT_TRUE(sender->isRangeTestRunning());
    EXPECT_TRUE(radioIsFree()) << "the range test holds the radio only around a push";
    sender->startPush();
    EXPECT_TRUE(waitUntil([&] { return !sender->isRangeTestRunning(); }));
}

TEST_F(PushTest, ARangeTestJobWhosePictureWentMissingIsDroppedUnpushed) {
    writeTestPicture();
    fakeobexa::hold(0x81);
    ASSERT_EQ(sender->queueRangeTest(makeSighting(0x81)), 0);
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0x81, patience));
    ASSERT_EQ(sender->queueRangeTest(makeSighting(0x82)), 0);
    std::filesystem::remove(station.file("testpic.gif"));
    fakeobexa::release(0x81);
    ASSERT_TRUE(countersReach(1, 0));
    ASSERT_TRUE(waitUntil([&] { return sender->jobCount() == 0; }));
    sender.reset();
    EXPECT_EQ(fakeobexa::pushes().size(), 1u);
}

}  // namespace
