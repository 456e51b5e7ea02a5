// The job list: five jobs at most, newest first, duplicates refused, stale jobs dropped, and a
// busy list that answers with its neutral results instead of blocking.

#include <gtest/gtest.h>

#include <latch>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "sending/jobarray.h"
#include "sending/lockedjoblist.h"
#include "sending/sender.h"
#include "sendingfixture.h"

using btsend::CJobArr;
using btsend::CJobListSyncMgr;
using btsend::CSendJob;
using namespace sendingtest;
using namespace std::chrono_literals;

namespace {

class JobListTest : public SendingStation {
  protected:
    std::unique_ptr<CSendJob> job(std::uint64_t address, campag::CCampaign& campaign,
                                  bool rangeTest = false) {
        return std::make_unique<CSendJob>(*makeSighting(address), campaign, rangeTest);
    }
    std::unique_ptr<CSendJob> job(std::uint64_t address) { return job(address, *promoCampaign); }

    platform::ManualClock clock{platform::fromTimeT(1'700'000'000)};
    platform::ScopedClock scopedClock{clock};
};

TEST(SendJob, AddressHalvesAreThoseTheLibraryTakes) {
    auto campaign = makeCampaign("Promo");
    const CSendJob job(*makeSighting(0xAABBCCDDEEFF), *campaign, false);
    EXPECT_EQ(job.addressHigh(), 0x0000AABBu);
    EXPECT_EQ(job.addressLow(), 0xCCDDEEFFu);
}

TEST_F(JobListTest, SixDevicesLeaveTheLastFiveNewestFirst) {
    CJobArr jobs;
    for (std::uint64_t address = 1; address <= 6; ++address) {
        jobs.add(job(address));
    }
    EXPECT_EQ(jobs.count(), 5);
    for (std::uint32_t expected = 6; expected >= 2; --expected) {
        auto next = jobs.takeNext();
        ASSERT_TRUE(next);
        EXPECT_EQ(next->addressLow(), expected);
    }
    EXPECT_FALSE(jobs.takeNext()) << "the first device was pushed out";
}

TEST_F(JobListTest, DuplicatesAreTheSameDeviceForACampaignOfTheSameNameIgnoringCase) {
    auto lowerPromo = makeCampaign("promo");
    auto other = makeCampaign("Other");
    struct Case {
        const char* what;
        std::uint64_t address;
        campag::CCampaign* campaign;
        int expected;
    };
    const Case cases[] = {
        {"same device, same campaign", 1, promoCampaign, 0},
        {"same device, name differs in case only", 1, lowerPromo.get(), 0},
        {"same device, another campaign", 1, other.get(), 2},
        {"another device, same campaign", 2, promoCampaign, 2},
    };
    for (const Case& c : cases) {
        CJobArr jobs;
        ASSERT_EQ(jobs.addUnique(job(1)), 1);
        EXPECT_EQ(jobs.addUnique(job(c.address, *c.campaign)), c.expected) << c.what;
        EXPECT_EQ(jobs.count(), c.expected == 0 ? 1 : 2) << c.what;
    }
}

// The operator may change or delete a campaign while its jobs wait: each job compares and pushes
// by its own copy, taken when it was made.
TEST_F(JobListTest, AWaitingJobKeepsItsCampaignWhenTheCampaignIsChangedOrDeleted) {
    auto campaign = makeCampaign("Spring", "spring.jpg");
    CJobArr jobs;
    ASSERT_EQ(jobs.addUnique(job(1, *campaign)), 1);
    campaign->setValue4Key("campaname", "Summer");
    campaign->setValue4Key("mediafile", "summer.jpg");
    EXPECT_EQ(jobs.addUnique(job(1, *makeCampaign("SPRING"))), 0) << "still the Spring job";
    campaign.reset();
    EXPECT_EQ(jobs.addUnique(job(1, *makeCampaign("spring"))), 0) << "compared after the delete";
    const auto waiting = jobs.takeNext();
    ASSERT_TRUE(waiting);
    EXPECT_EQ(waiting->campaign().getValue4Key("campaname"), "Spring");
    EXPECT_EQ(waiting->campaign().getValue4Key("mediafile"), "spring.jpg");
    EXPECT_EQ(waiting->campaign().getSendFileName(), "Spring.jpg");
}

TEST_F(JobListTest, TakeNextDropsJobsSeenMoreThanSixSecondsAgoExceptRangeTestJobs) {
    struct Case {
        const char* what;
        std::chrono::milliseconds age;
        bool rangeTest;
        bool served;
    };
    const Case cases[] = {
        {"2 s old", 2000ms, false, true},
        {"exactly 6 s old", 6000ms, false, true},
        {"just over 6 s old", 6001ms, false, false},
        {"10 s old", 10000ms, false, false},
        {"range-test job a minute old", 60000ms, true, true},
    };
    for (const Case& c : cases) {
        CJobArr jobs;
        const auto made = clock.now();
        jobs.add(job(7, *promoCampaign, c.rangeTest));
        clock.advance(c.age);
        EXPECT_EQ(jobs.takeNext() != nullptr, c.served) << c.what;
        EXPECT_EQ(jobs.count(), 0) << c.what;
        clock.set(made);
    }
}

TEST_F(JobListTest, TakeNextPassesOverTheStaleNewestJobToAFreshOlderOne) {
    CJobArr jobs;
    jobs.add(job(1));  // seen 2 s before now
    clock.advance(-8000ms);
    jobs.add(job(2));  // seen 10 s before now
    clock.advance(10000ms);
    auto next = jobs.takeNext();
    ASSERT_TRUE(next);
    EXPECT_EQ(next->addressLow(), 1u);
    EXPECT_EQ(jobs.count(), 0);
}

// Holds the list's lock from another thread for as long as the object lives.
class ListHolder {
  public:
    explicit ListHolder(CJobListSyncMgr& list) {
        std::latch taken(1);
        holder = std::thread([&] {
            std::unique_lock guard(list.lockForTest());
            taken.count_down();
            std::unique_lock wait(doneLock);
            released.wait(wait, [this] { return done; });
        });
        taken.wait();
    }
    ~ListHolder() {
        {
            std::lock_guard guard(doneLock);
            done = true;
        }
        released.notify_all();
        holder.join();
    }

  private:
    std::mutex doneLock;
    std::condition_variable released;
    bool done = false;
    std::thread holder;
};

TEST_F(JobListTest, ABusyListGivesTheNeutralResultsAndKeepsItsJobs) {
    CJobListSyncMgr list;
    auto first = job(1);
    ASSERT_EQ(list.add(first), 1);
    {
        ListHolder busy(list);
        EXPECT_EQ(list.takeNext(), nullptr);
        auto kept = job(2);
        EXPECT_EQ(list.add(kept), 0);
        EXPECT_TRUE(kept) << "the caller keeps a job the busy list did not take";
        EXPECT_EQ(list.addUnique(job(3)), -1);
        EXPECT_EQ(list.count(), 0);
        list.deleteAll();
    }
    EXPECT_EQ(list.count(), 1) << "nothing was added or deleted while the list was busy";
}

TEST_F(JobListTest, QueueSightingPairsTheDeviceWithTheCampaignToSendNow) {
    platform::TimedMutex radioLock;
    CArrSyncMgr newDevices;
    campag::CCampaignMgr* campaigns = &manager;
    btsend::CBtSender sender(
        radioLock, newDevices, [&] { return campaigns; }, "libNoSuchObexa.so");
    EXPECT_FALSE(sender.isReady());
    EXPECT_EQ(sender.queueSighting(makeSighting(1)), 1);
    EXPECT_EQ(sender.queueSighting(makeSighting(1)), 0) << "the same device waits already";
    EXPECT_EQ(sender.queueSighting(makeSighting(2)), 2);
    EXPECT_EQ(sender.jobCount(), 2);
    {
        ListHolder busy(sender.jobList());
        EXPECT_EQ(sender.queueSighting(makeSighting(3)), -1);
        EXPECT_EQ(sender.queueRangeTest(makeSighting(3)), 2) << "no test picture";
        writeTestPicture();
        EXPECT_EQ(sender.queueRangeTest(makeSighting(3)), 5);
    }
    sender.clearJobs();
    EXPECT_EQ(sender.jobCount(), 0);
    campaigns = nullptr;
    EXPECT_EQ(sender.queueSighting(makeSighting(4)), 0) << "no campaign to send";
    EXPECT_EQ(sender.jobCount(), 0);
}

}  // namespace
