// The push dispatcher, its workers and the range-test thread against a stand-in library whose
// pushes the test holds and releases: one push per device at a time, outcomes counted oldest
// first, the radio lock held exactly while pushes run, every attempt recorded as served.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "fakeobexa.h"
#include "outcomelog.h"
#include "sending/pushthreadlist.h"
#include "sending/sender.h"
#include "sendingfixture.h"
#include "tests/common/logreader.h"
#include "worker/workerbase.h"

using namespace sendingtest;
using namespace std::chrono_literals;

namespace {

constexpr const char* fakeLibrary = NYVEX_TEST_DIR "/libsending_fakeobexa.so";
constexpr const char* reportingLibrary = NYVEX_TEST_DIR "/libsending_fakeobexa_reports.so";
constexpr auto patience = 10s;

class PushTest : public SendingStation {
  protected:
    void SetUp() override {
        SendingStation::SetUp();
        fakeobexa::reset();
        blto::CBlueSync::setTimeScale(0.1);
        sender = std::make_unique<btsend::CBtSender>(radioLock, newDevices, campaigns(), library);
        sender->setServedRecorder([this](const blto::CBtAdWCounter& device) {
            std::lock_guard guard(servedLock);
            served.insert(device.record()->device.address);
        });
        sender->setOutcomeRecorder(outcomes.recorder());
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

    const char* library = fakeLibrary;
    platform::TimedMutex radioLock;
    CArrSyncMgr newDevices;
    std::unique_ptr<btsend::CBtSender> sender;
    std::mutex servedLock;
    std::set<std::uint64_t> served;
    OutcomeLog outcomes;
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

// The outcome of the push to `address` among `outcomes`; fails the test when there is none.
btsend::PushOutcome outcomeFor(const std::vector<btsend::PushOutcome>& outcomes,
                               std::uint64_t address) {
    for (const btsend::PushOutcome& outcome : outcomes) {
        if (outcome.device.record() != nullptr &&
            outcome.device.record()->device.address == address) {
            return outcome;
        }
    }
    ADD_FAILURE() << "no outcome for " << address;
    return {};
}

class ReportingPushTest : public PushTest {
  protected:
    ReportingPushTest() { library = reportingLibrary; }

    // What the library reports for a push that ended `how`.
    static ObexaPushReport report(ObexaOutcome how, std::int32_t accepted, std::uint64_t bytes) {
        return {how, 3, accepted, 40, 1000, bytes};
    }
};

TEST_F(ReportingPushTest, EveryAttemptReachesTheRecorderWithItsKindNamesAndReport) {
    fakeobexa::script(0xA2, {0, 3, 1, report(obexaRefused, 1, 380)});
    const auto before = platform::now();
    ASSERT_EQ(sender->queueSighting(makeSighting(0xA1)), 1);
    ASSERT_EQ(sender->queueSighting(makeSighting(0xA2)), 2);
    auto noExtension = makeCampaign("Broken", "promo");
    station.write("promo", picture);
    auto job = std::make_unique<btsend::CSendJob>(*makeSighting(0xA3), *noExtension, false);
    ASSERT_NE(sender->jobList().add(job), 0);
    sender->startPush();
    ASSERT_TRUE(countersReach(1, 2));
    ASSERT_TRUE(outcomes.reach(3));
    const auto all = outcomes.all();
    EXPECT_EQ(all.size(), 3u) << "one outcome per attempt";

    const btsend::PushOutcome delivered = outcomeFor(all, 0xA1);
    EXPECT_EQ(delivered.kind, btsend::PushKind::normal);
    EXPECT_TRUE(delivered.delivered);
    EXPECT_EQ(delivered.campaignName, "Promo");
    EXPECT_EQ(delivered.sendName, "Promo.jpg");
    EXPECT_EQ(delivered.report.outcome, obexaDelivered);
    EXPECT_EQ(delivered.report.bytesAccepted, 1000u);
    EXPECT_GE(delivered.started, before);
    EXPECT_LE(delivered.started, platform::now());

    const btsend::PushOutcome refused = outcomeFor(all, 0xA2);
    EXPECT_FALSE(refused.delivered);
    EXPECT_EQ(refused.report.outcome, obexaRefused);
    EXPECT_EQ(refused.report.bytesAccepted, 380u);

    const btsend::PushOutcome broken = outcomeFor(all, 0xA3);
    EXPECT_FALSE(broken.delivered);
    EXPECT_EQ(broken.campaignName, "Broken");
    EXPECT_EQ(broken.report.outcome, obexaFileUnusable);
    EXPECT_EQ(broken.report.packets, 0);
    EXPECT_EQ(servedDevices(), (std::set<std::uint64_t>{0xA1, 0xA2})) << "as before";
    EXPECT_EQ(fakeobexa::pushes().size(), 2u);
}

// Two pushes side by side: each shows from its start to its end, the first ending first.
TEST_F(ReportingPushTest, PushesShowInFlightWithTheirBytesWhileTheyRun) {
    fakeobexa::hold(0xD1);
    fakeobexa::hold(0xD2);
    ASSERT_EQ(sender->queueSighting(testing_support::makeNamedSighting(0xD1, u"Jörg", u"")), 1);
    sender->startPush();
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0xD1, patience));
    ASSERT_EQ(sender->queueSighting(testing_support::makeNamedSighting(0xD2, u"Bo", u"")), 1);
    ASSERT_TRUE(fakeobexa::waitUntilPushing(0xD2, patience));
    const auto running = sender->pushesInFlight().snapshot();
    ASSERT_EQ(running.size(), 2u);
    EXPECT_EQ(running[0].phoneName, "J\xC3\xB6rg");
    EXPECT_EQ(running[0].campaignName, "Promo");
    EXPECT_EQ(running[0].bytesAccepted, 500u) << "half of it, as the library reported";
    EXPECT_EQ(running[0].fileBytes, 1000u);
    EXPECT_EQ(running[1].phoneName, "Bo");

    fakeobexa::release(0xD1);
    ASSERT_TRUE(countersReach(1, 0));
    const auto left = sender->pushesInFlight().snapshot();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].phoneName, "Bo");
    fakeobexa::release(0xD2);
    ASSERT_TRUE(countersReach(2, 0));
    EXPECT_TRUE(sender->pushesInFlight().snapshot().empty());
}

TEST_F(ReportingPushTest, RangeTestPushesAreRecordedAsRangeTests) {
    writeTestPicture();
    fakeobexa::script(0x72, {1, 3, 0, report(obexaNoAnswer, 0, 0)});
    ASSERT_EQ(sender->queueRangeTest(makeSighting(0x71)), 0);
    ASSERT_EQ(sender->queueRangeTest(makeSighting(0x72)), 0);
    ASSERT_TRUE(outcomes.reach(2));
    const auto all = outcomes.all();
    const btsend::PushOutcome delivered = outcomeFor(all, 0x71);
    const btsend::PushOutcome silent = outcomeFor(all, 0x72);
    for (const btsend::PushOutcome& outcome : {delivered, silent}) {
        EXPECT_EQ(outcome.kind, btsend::PushKind::rangeTest);
        EXPECT_EQ(outcome.sendName.size(), 12u) << "the test picture's random name";
        EXPECT_EQ(outcome.campaignName, "") << "the range test's campaign has no name";
    }
    EXPECT_TRUE(delivered.delivered);
    EXPECT_EQ(delivered.report.outcome, obexaDelivered);
    EXPECT_FALSE(silent.delivered);
    EXPECT_EQ(silent.report.outcome, obexaNoAnswer);
    sender->startPush();
    EXPECT_TRUE(waitUntil([&] { return !sender->isRangeTestRunning(); }));
}

TEST_F(ReportingPushTest, ARecorderThatThrowsStopsNoPushAndIsLoggedOnce) {
    sender->setOutcomeRecorder(
        [](const btsend::PushOutcome&) { throw std::runtime_error("journal gone"); });
    ASSERT_EQ(sender->queueSighting(makeSighting(0xE5)), 1);
    ASSERT_EQ(sender->queueSighting(makeSighting(0xE6)), 2);
    sender->startPush();
    ASSERT_TRUE(countersReach(2, 0));
    EXPECT_EQ(servedDevices(), (std::set<std::uint64_t>{0xE5, 0xE6}));
    const std::string log = testing_support::errorLogText();
    const auto first = log.find("push outcome not recorded");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find("push outcome not recorded", first + 1), std::string::npos) << log;
}

// An older library has no report exports: its pushes are recorded with what its results say.
TEST_F(PushTest, ALibraryWithoutReportsStillPushesAndRecordsItsResults) {
    fakeobexa::script(0xB2, {0, 3, 2});
    ASSERT_EQ(sender->queueSighting(makeSighting(0xB1)), 1);
    ASSERT_EQ(sender->queueSighting(makeSighting(0xB2)), 2);
    sender->startPush();
    ASSERT_TRUE(countersReach(1, 1));
    ASSERT_TRUE(outcomes.reach(2));
    EXPECT_TRUE(sender->isReady()) << "the missing exports do not unbind the library";
    const auto all = outcomes.all();
    const btsend::PushOutcome delivered = outcomeFor(all, 0xB1);
    const btsend::PushOutcome failed = outcomeFor(all, 0xB2);
    EXPECT_TRUE(delivered.delivered);
    EXPECT_EQ(delivered.report.outcome, obexaDelivered);
    EXPECT_EQ(delivered.report.packets, 0);
    EXPECT_FALSE(failed.delivered);
    EXPECT_EQ(failed.report.outcome, obexaConnectionFailed);
    EXPECT_EQ(failed.campaignName, "Promo");
    EXPECT_TRUE(sender->pushesInFlight().snapshot().empty());
}

}  // namespace
