// The thread center with the real radio and push libraries in the simulated world: which
// workers run after start, pause, radio changes and campaign changes.

#include "app/station/threadcenter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/station/journalfeed.h"
#include "backoffice/backoffice.h"
#include "campaigns/campaignmgr.h"
#include "memory/manufacturer.h"
#include "tests/common/logreader.h"
#include "tests/common/nonewthreads.h"
#include "tests/common/registeredpart.h"
#include "tests/common/tempfolder.h"

using testing_support::errorLogText;
using testing_support::RegisteredPart;
using testing_support::StationFolder;

namespace {

const std::string radioSection =
    "[radio]\naddress=00:1A:7D:DA:71:13\nname=Test radio\ntimescale=0\n";
const std::string alwaysCampaign =
    "[campaign1]\ncampaname=Welcome\nsendfilename=welcome\nmediafile=welcome.gif\nprio=1000\n"
    "scheduletyp=0\nnumperiods=0\n";

class ThreadCenterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        blto::CBlueSync::setTimeScale(0.01);
        station.write("welcome.gif", "GIF89a");
        station.write("world.ini", radioSection);
        setenv("NYVEX_SIMULATION", station.file("world.ini").c_str(), 1);
        station.write("tolvik.ini", alwaysCampaign);
        campaigns->loadAll();
        center = std::make_unique<CThreadCenter>(library("libRadiox.so"), pushLibrary());
        office->setQueues(&center->front()->sightings(), &center->newDevices());
        ASSERT_TRUE(center->front()->createScanner()) << "libRadiox.so is found";
    }

    void TearDown() override {
        center.reset();
        unsetenv("NYVEX_SIMULATION");
        blto::CBlueSync::setTimeScale(1.0);
    }

    static std::string library(const std::string& name) {
        return std::string(NYVEX_BIN_DIR) + "/" + name;
    }
    virtual std::string pushLibrary() const { return library("libObexa.so"); }

    // Stop requests take effect at the workers' next check: wait for the status to settle.
    ::testing::AssertionResult statusBecomes(const std::string& expected) {
        std::string seen;
        for (int i = 0; i < 500; ++i) {
            seen = center->statusText();
            if (seen == expected) {
                return ::testing::AssertionSuccess();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return ::testing::AssertionFailure() << "status stayed " << seen << ", not " << expected;
    }

    StationFolder station;
    RegisteredPart<campag::CCampaignMgr> campaigns;
    RegisteredPart<backo::CBackOffice> office;
    std::unique_ptr<CThreadCenter> center;
};

}  // namespace

TEST_F(ThreadCenterTest, NothingRunsBeforeTheStartAndEverythingAfterIt) {
    ASSERT_TRUE(center->sender()->isReady()) << "libObexa.so is found";
    EXPECT_EQ(center->statusText(), "_____");
    center->startAll();
    EXPECT_TRUE(statusBecomes("SBJ_O"));
}

TEST_F(ThreadCenterTest, PauseLeavesTheScannerAndTheScanSwitchLeavesTheRest) {
    center->startAll();
    ASSERT_TRUE(statusBecomes("SBJ_O"));
    center->pause(true);
    center->apply();
    EXPECT_TRUE(statusBecomes("S____"));
    center->pause(false);
    center->apply();
    EXPECT_TRUE(statusBecomes("SBJ_O"));
    center->setScan(false);
    EXPECT_TRUE(statusBecomes("_BJ_O"));
    center->setScan(true);
    EXPECT_TRUE(statusBecomes("SBJ_O"));
}

// The journal names the radio from the start and again once it is plugged in.
TEST_F(ThreadCenterTest, UnpluggingTheRadioStopsEveryWorkerAndPluggingItInRestartsThem) {
    RegisteredPart<CJournalFeed> journal(station.file("journal.sqlite"), 365);
    center->startAll();
    ASSERT_TRUE(statusBecomes("SBJ_O"));
    EXPECT_EQ(journal->currentRadio(), "Test radio");
    station.write("world.ini", "");
    EXPECT_EQ(center->checkRadio(), 0);
    EXPECT_TRUE(statusBecomes("_____"));
    journal->setRadio("");
    station.write("world.ini", radioSection);
    EXPECT_EQ(center->checkRadio(), 1);
    EXPECT_TRUE(statusBecomes("SBJ_O"));
    EXPECT_EQ(journal->currentRadio(), "Test radio");
}

TEST_F(ThreadCenterTest, WithoutAnActiveCampaignOnlyTheScannerRuns) {
    center->startAll();
    ASSERT_TRUE(statusBecomes("SBJ_O"));
    std::filesystem::remove(station.path() / "welcome.gif");  // nothing sendable any more
    center->apply();
    EXPECT_TRUE(statusBecomes("S____"));
}

// With a radio the scanner follows its own switch, also while no campaign is active: the range
// test can switch it off, and a radio plugged in again is scanned.
TEST_F(ThreadCenterTest, WithoutAnActiveCampaignTheScannerStillFollowsItsSwitch) {
    std::filesystem::remove(station.path() / "welcome.gif");  // nothing sendable
    center->startAll();
    ASSERT_TRUE(statusBecomes("S____"));
    center->setScan(false);
    EXPECT_TRUE(statusBecomes("_____"));
    center->setScan(true);
    EXPECT_TRUE(statusBecomes("S____"));
    station.write("world.ini", "");
    EXPECT_EQ(center->checkRadio(), 0);
    EXPECT_TRUE(statusBecomes("_____"));
    station.write("world.ini", radioSection);
    EXPECT_EQ(center->checkRadio(), 1);
    EXPECT_TRUE(statusBecomes("S____"));
}

TEST_F(ThreadCenterTest, AWorkerWhoseThreadCannotBeCreatedIsLoggedAndStartsAtTheNextApply) {
    {
        testing_support::NoNewThreads noThreads;
        center->startAll();
    }
    EXPECT_EQ(center->statusText(), "_____");
    EXPECT_NE(errorLogText().find("Fehler : scanner not started: Resource temporarily unavailable"),
              std::string::npos)
        << errorLogText();
    center->apply();
    EXPECT_TRUE(statusBecomes("SBJ_O"));
}

TEST_F(ThreadCenterTest, NoRadioAtStartStartsNothingAndTellsTheWindow) {
    station.write("world.ini", "");
    bool told = false;
    center->setNoRadioNotice([&] { told = true; });
    center->startAll();
    EXPECT_TRUE(told);
    EXPECT_EQ(center->statusText(), "_____");
}

// Start-up makes the manufacturer table after the thread center: the scanner finds whatever
// table the application holds when it fetches.
TEST_F(ThreadCenterTest, TheScannerFindsTheManufacturerTableTheApplicationHoldsNow) {
    EXPECT_EQ(center->front()->manufacturers(), nullptr);
    {
        RegisteredPart<CManufacturer> makers;
        EXPECT_EQ(center->front()->manufacturers(), makers.get());
    }
    EXPECT_EQ(center->front()->manufacturers(), nullptr);
}

namespace {
class ThreadCenterWithoutPushLibrary : public ThreadCenterTest {
  protected:
    std::string pushLibrary() const override { return library("libNoSuchPushLibrary.so"); }
};
}  // namespace

// Without its push library the sender would mark every device served without sending anything.
TEST_F(ThreadCenterWithoutPushLibrary, NothingButTheScannerEverStarts) {
    ASSERT_FALSE(center->sender()->isReady());
    center->startAll();
    EXPECT_EQ(center->statusText(), "_____");
    center->apply();
    EXPECT_TRUE(statusBecomes("S____")) << "the scanner follows its switch";
    center->setScan(true);
    center->pause(false);
    center->apply();
    EXPECT_FALSE(center->sender()->isPushRunning());
    EXPECT_FALSE(center->jobMachine().isRunning());
    EXPECT_FALSE(office->isRunning());
}
