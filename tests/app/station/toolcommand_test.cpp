// The main window's tool commands around their dialogs: the radio check, the job list emptied
// for the campaigns, the workers paused while the dialog runs and resumed after it, and the
// configuration command that sets the back office up again.

#include <gtest/gtest.h>

#include "sending/sendjob.h"
#include "tests/common/sightings.h"
#include "tests/common/simstation.h"

using testing_support::SimulatedStation;
using testing_support::waitUntil;

namespace {

// Records what the application shows instead of showing it.
struct RecordedNotices : CUserNotice {
    RecordedNotices() { theApp().setUserNotice(this); }
    ~RecordedNotices() override { theApp().setUserNotice(nullptr); }
    void showMessage(const std::string& text, const std::string& title) override {
        shown.push_back(title + ": " + text);
    }
    std::vector<std::string> shown;
};

bool statusBecomes(CThreadCenter& center, const std::string& expected) {
    return waitUntil([&] { return center.statusText() == expected; }, std::chrono::seconds(5));
}

const ToolCommand radioCommands[] = {ToolCommand::rangeTest, ToolCommand::blockingList,
                                     ToolCommand::campaigns};

}  // namespace

TEST(ToolCommand, WithoutARadioOnlyTheMissingAdapterIsShown) {
    SimulatedStation station(false);
    RecordedNotices notices;
    for (ToolCommand command : radioCommands) {
        bool ran = false;
        EXPECT_FALSE(theApp().runToolCommand(command, [&] {
            ran = true;
            return 1;
        }));
        EXPECT_FALSE(ran) << static_cast<int>(command);
    }
    const std::string missing = "Tolvik: " + support::text("dongle_missing");
    EXPECT_EQ(notices.shown, std::vector<std::string>(3, missing));
    EXPECT_EQ(station.center->statusText(), "_____") << "the workers stay as they were";
}

TEST(ToolCommand, TheWorkersButTheScannerPauseWhileTheDialogRuns) {
    SimulatedStation station;
    station.center->startAll();
    ASSERT_TRUE(statusBecomes(*station.center, "SBJ_O"));
    for (ToolCommand command : radioCommands) {
        bool pausedInside = false;
        EXPECT_TRUE(theApp().runToolCommand(command, [&] {
            pausedInside = statusBecomes(*station.center, "S____");
            return 2;
        }));
        EXPECT_TRUE(pausedInside) << static_cast<int>(command);
        EXPECT_TRUE(statusBecomes(*station.center, "SBJ_O")) << static_cast<int>(command);
    }
}

TEST(ToolCommand, TheWorkersResumeAlsoWhenTheDialogFails) {
    SimulatedStation station;
    station.center->startAll();
    ASSERT_TRUE(statusBecomes(*station.center, "SBJ_O"));
    EXPECT_THROW(theApp().runToolCommand(ToolCommand::blockingList,
                                         []() -> int { throw std::runtime_error("dialog"); }),
                 std::runtime_error);
    EXPECT_TRUE(statusBecomes(*station.center, "SBJ_O"));
}

// A station of its own for each command: the workers the previous command resumed would
// otherwise send the job before the next command pauses them.
TEST(ToolCommand, OnlyTheCampaignsCommandEmptiesTheJobListFirst) {
    for (ToolCommand command : radioCommands) {
        SimulatedStation station;
        auto* campaign = station.campaigns->getFirst();
        ASSERT_NE(campaign, nullptr);
        btsend::CJobListSyncMgr& jobs = station.center->sender()->jobList();
        jobs.addUnique(std::make_unique<btsend::CSendJob>(
            *testing_support::makeSighting(0x001122AABB01), *campaign, false));
        int jobsSeen = -1;
        theApp().runToolCommand(command, [&] {
            jobsSeen = jobs.count();
            return 1;
        });
        EXPECT_EQ(jobsSeen, command == ToolCommand::campaigns ? 0 : 1) << static_cast<int>(command);
    }
}

TEST(ToolCommand, ConfigurationNeedsNoRadioAndSetsTheBackOfficeUpAfterOk) {
    SimulatedStation station(false);
    RecordedNotices notices;
    struct Case {
        int result;
        bool setUp;
    };
    for (const Case c : {Case{2, false}, Case{1, true}}) {
        platform::profile::write(station.folder.file("appTolvik.ini"), "Tolvik", "nogoaddress1",
                                 "00:11:22:AA:BB:01");
        bool ran = false;
        EXPECT_TRUE(theApp().runToolCommand(ToolCommand::configuration, [&] {
            ran = true;
            return c.result;
        }));
        EXPECT_TRUE(ran);
        blto::CBtAdWCounter blocked = *testing_support::makeSighting(0x001122AABB01);
        EXPECT_EQ(station.office->isKnown(blocked), c.setUp) << "result " << c.result;
        platform::profile::deleteKey(station.folder.file("appTolvik.ini"), "Tolvik",
                                     "nogoaddress1");
    }
    EXPECT_TRUE(notices.shown.empty());
}
