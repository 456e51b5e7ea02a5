#include "campaigns/campaignmgr.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "campaigns/monthdayperiod.h"
#include "campaigns/randomname.h"
#include "campaigns/specificperiod.h"
#include "campaigns/weekdayperiod.h"
#include "platform/profile.h"
#include "stationfixture.h"

using campag::ALWAYS_PRIO;
using campag::CCampaign;
using campag::CCampaignMgr;
using testing_station::localSeconds;

namespace {

constexpr int monday = 2;

class CampaignMgrTest : public testing_station::StationTest {
  protected:
    // A sendable campaign owned by the manager; its media file is made in the data folder.
    CCampaign& add(const std::string& name, CCampaignMgr& into) {
        auto campaign = std::make_unique<CCampaign>(&into);
        campaign->setValue4Key("campaname", name);
        campaign->setValue4Key("sendfilename", name);
        campaign->setValue4Key("mediafile", name + ".jpg");
        std::ofstream(name + ".jpg") << "picture";
        CCampaign& added = *campaign;
        EXPECT_TRUE(into.addCampaign(std::move(campaign)));
        return added;
    }
    CCampaign& add(const std::string& name) { return add(name, manager); }

    // A Monday campaign with one period of whole hours.
    CCampaign& addMonday(const std::string& name, int prio, int fromHour, int toHour) {
        CCampaign& campaign = add(name);
        campaign.setScheduleType(schedule::weekdays);
        campaign.setPrio(prio);
        auto period = std::make_unique<schedule::CWeekdayPeriod>(0);
        period->setStart({monday, fromHour, 0});
        period->setEnd({monday, toHour, 0});
        campaign.getSchedule()->addPeriod(std::move(period));
        return campaign;
    }

    std::vector<std::string> enumeration() {
        std::vector<std::string> names;
        for (CCampaign* c = manager.getFirst(); c; c = manager.getNext()) {
            names.push_back(c->getValue4Key("campaname"));
        }
        return names;
    }

    std::string chosenName() const {
        const CCampaign* chosen = manager.chooseCampaign();
        return chosen ? chosen->getValue4Key("campaname") : "(none)";
    }

    std::set<std::string> keysOf(const std::string& section) const {
        const auto keys = platform::profile::keys(listFile(), section);
        return {keys.begin(), keys.end()};
    }

    void writeList(const std::string& content) { station.write("tolvik.ini", content); }

    static std::string section(int n, const std::string& name, int type, int prio) {
        return "[campaign" + std::to_string(n) + "]\ncampaname=" + name + "\nsendfilename=" + name +
               "\nmediafile=" + name + ".jpg\nprio=" + std::to_string(prio) +
               "\nscheduletyp=" + std::to_string(type) + "\nnumperiods=0\n";
    }
};

TEST_F(CampaignMgrTest, EmptyStationHasNothingToSend) {
    EXPECT_EQ(manager.chooseCampaign(), nullptr);
    EXPECT_FALSE(manager.hasSendableNow());
    EXPECT_EQ(manager.getFirst(), nullptr);
    EXPECT_EQ(manager.getFirstActive(), nullptr);
    EXPECT_EQ(manager.lowestFreePrio(), 1);
}

TEST_F(CampaignMgrTest, BucketsOfNames) {
    struct Case {
        const char* name;
        std::size_t bucket;
    };
    // h = h * 33 + unit over the UTF-16 code units, modulo 17; "\xC3\xBC" is one unit (252).
    for (const Case& c : {Case{"", 0}, Case{"a", 12}, Case{"abc", 13}, Case{"beta", 1},
                          Case{"gamma", 1}, Case{"\xC3\xBC", 14}}) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CCampaignMgr::bucketOf(c.name), c.bucket);
    }
}

// Buckets: beta 1, gamma 1, delta 3, alpha 9, spring 14, summer 14; a chain lists its newest
// entry first.
TEST_F(CampaignMgrTest, EnumerationGoesByBucketThenNewestFirst) {
    for (const char* name : {"alpha", "beta", "gamma", "spring", "summer", "delta"}) {
        add(name);
    }
    const std::vector<std::string> expected = {"gamma", "beta",   "delta",
                                               "alpha", "summer", "spring"};
    EXPECT_EQ(enumeration(), expected);
    EXPECT_EQ(manager.getNext(), nullptr);
    auto duplicate = std::make_unique<CCampaign>(&manager);
    duplicate->setValue4Key("campaname", "beta");
    EXPECT_FALSE(manager.addCampaign(std::move(duplicate)));
    EXPECT_NE(duplicate, nullptr) << "the caller keeps a refused campaign";
    EXPECT_EQ(manager.getCount(), 6);
}

// 1 July 2024 is a Monday.
TEST_F(CampaignMgrTest, ChoosesTheSmallestPriorityAmongActiveSendableCampaigns) {
    add("fallback");
    addMonday("five", 5, 8, 17);
    CCampaign& two = addMonday("two", 2, 10, 12);
    addMonday("one", 1, 18, 20);  // never active in the moments below
    struct Case {
        const char* what;
        std::int64_t at;
        const char* chosen;
    };
    const Case cases[] = {
        {"both periods", localSeconds(2024, 7, 1, 11, 0), "two"},
        {"only the longer period", localSeconds(2024, 7, 1, 13, 0), "five"},
        {"no period", localSeconds(2024, 7, 2, 11, 0), "fallback"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setNow(c.at);
        EXPECT_EQ(chosenName(), c.chosen);
        EXPECT_TRUE(manager.hasSendableNow());
    }

    setNow(localSeconds(2024, 7, 1, 11, 0));
    std::filesystem::remove("two.jpg");
    EXPECT_EQ(chosenName(), "five") << "a vanished media file stops its campaign at once";
    std::ofstream("two.jpg") << "back";
    two.setValue4Key("sendfilename", "x");
    EXPECT_EQ(chosenName(), "five") << "an unsendable campaign does not block others";
    two.setValue4Key("sendfilename", "two");
    EXPECT_EQ(chosenName(), "two");
}

TEST_F(CampaignMgrTest, NothingActiveAndSendableMeansNothingToSend) {
    add("fallback").setValue4Key("mediafile", "gone.jpg");
    addMonday("five", 5, 8, 17);
    setNow(localSeconds(2024, 7, 2, 11, 0));
    EXPECT_EQ(manager.chooseCampaign(), nullptr);
    EXPECT_FALSE(manager.hasSendableNow());
}

// beta lies in bucket 1 and delta in bucket 3: beta is met first whatever the insertion order.
TEST_F(CampaignMgrTest, EqualPrioritiesGoToTheCampaignMetFirst) {
    add("fallback");
    addMonday("delta", 4, 8, 17);
    addMonday("beta", 4, 8, 17);
    setNow(localSeconds(2024, 7, 1, 12, 0));
    EXPECT_EQ(chosenName(), "beta");
}

TEST_F(CampaignMgrTest, ActiveEnumerationSkipsInactiveButNotUnsendableCampaigns) {
    add("fallback").setValue4Key("mediafile", "gone.jpg");
    addMonday("morning", 3, 8, 12);
    addMonday("evening", 4, 18, 22);
    setNow(localSeconds(2024, 7, 1, 9, 0));
    std::set<std::string> active;
    for (CCampaign* c = manager.getFirstActive(); c; c = manager.getNextActive()) {
        active.insert(c->getValue4Key("campaname"));
    }
    EXPECT_EQ(active, (std::set<std::string>{"fallback", "morning"}));
}

TEST_F(CampaignMgrTest, LowestFreePriority) {
    add("fallback");
    for (const int prio : {1, 2, 4}) {
        add("prio" + std::to_string(prio)).setPrio(prio);
    }
    EXPECT_EQ(manager.lowestFreePrio(), 3);

    CCampaignMgr full;
    for (int prio = 1; prio <= 999; ++prio) {
        auto campaign = std::make_unique<CCampaign>(&full);
        campaign->getSchedule()->setType(schedule::weekdays);
        campaign->setPrio(prio);
        campaign->setValue4Key("campaname", "c" + std::to_string(prio));
        full.addCampaign(std::move(campaign));
    }
    EXPECT_EQ(full.lowestFreePrio(), 999);
}

TEST_F(CampaignMgrTest, SavedFileHoldsExactlyTheDocumentedKeys) {
    add("fallback");
    CCampaign& weekly = addMonday("weekly", 3, 8, 17);
    auto second = std::make_unique<schedule::CWeekdayPeriod>(1);
    second->setStart({3, 9, 0});
    second->setEnd({3, 10, 0});
    weekly.getSchedule()->addPeriod(std::move(second));
    CCampaign& once = add("once");
    once.setScheduleType(schedule::specific);
    auto period = std::make_unique<schedule::CSpecificPeriod>();
    period->setStart(1272697200);
    period->setEnd(1272729600);
    once.getSchedule()->addPeriod(std::move(period));
    manager.saveAll();

    // Buckets: weekly 0, once 1, fallback 14.
    const std::vector<std::string> sections = {"campaign1", "campaign2", "campaign3"};
    EXPECT_EQ(platform::profile::sections(listFile()), sections);
    const std::set<std::string> common = {"campaname", "sendfilename", "mediafile",
                                          "prio",      "scheduletyp",  "numperiods"};
    std::set<std::string> onceKeys = common;
    onceKeys.insert({"specificstart", "specificend"});
    std::set<std::string> weeklyKeys = common;
    weeklyKeys.insert({"weekdaystart0", "weekdayend0", "weekdaystart1", "weekdayend1"});
    EXPECT_EQ(keysOf("campaign1"), weeklyKeys);
    EXPECT_EQ(keysOf("campaign2"), onceKeys);
    EXPECT_EQ(keysOf("campaign3"), common);

    const auto value = [&](const char* section, const char* key) {
        return platform::profile::read(listFile(), section, key, "(missing)");
    };
    EXPECT_EQ(value("campaign2", "specificstart"), "1272697200");
    EXPECT_EQ(value("campaign2", "scheduletyp"), "3");
    EXPECT_EQ(value("campaign2", "numperiods"), "1");
    EXPECT_EQ(value("campaign3", "prio"), "1000");
    EXPECT_EQ(value("campaign3", "scheduletyp"), "0");
    EXPECT_EQ(value("campaign3", "mediafile"), "fallback.jpg");
    EXPECT_EQ(value("campaign1", "prio"), "3");
    EXPECT_EQ(value("campaign1", "numperiods"), "2");
    EXPECT_EQ(value("campaign1", "weekdaystart1"), std::to_string(localSeconds(1996, 1, 3, 9, 0)));
}

TEST_F(CampaignMgrTest, RemovingOneOfThreeLeavesTwoCompleteSections) {
    add("fallback");
    CCampaign& weekly = addMonday("weekly", 3, 8, 17);
    CCampaign& once = add("once");
    once.setScheduleType(schedule::specific);
    auto period = std::make_unique<schedule::CSpecificPeriod>();
    period->setStart(1272697200);
    period->setEnd(1272729600);
    once.getSchedule()->addPeriod(std::move(period));
    manager.saveAll();
    const std::string weeklyDescription = weekly.getSchedule()->getDescription();

    manager.removeCampaign(&once);
    manager.removeCampaign(nullptr);
    CCampaign stranger(&manager);
    manager.removeCampaign(&stranger);

    EXPECT_EQ(platform::profile::sections(listFile()),
              (std::vector<std::string>{"campaign1", "campaign2"}));
    EXPECT_EQ(keysOf("campaign1").size(), 8u) << "weekly, bucket 0";
    EXPECT_EQ(keysOf("campaign2").size(), 6u) << "fallback, bucket 14";

    CCampaignMgr restarted;
    restarted.loadAll();
    ASSERT_EQ(restarted.getCount(), 2);
    std::map<std::string, CCampaign*> byName;
    for (CCampaign* c = restarted.getFirst(); c; c = restarted.getNext()) {
        byName[c->getValue4Key("campaname")] = c;
    }
    ASSERT_EQ(byName.count("fallback"), 1u);
    ASSERT_EQ(byName.count("weekly"), 1u);
    EXPECT_EQ(byName["fallback"]->getPrio(), ALWAYS_PRIO);
    EXPECT_EQ(byName["weekly"]->getPrio(), 3);
    EXPECT_EQ(byName["weekly"]->getSchedule()->getDescription(), weeklyDescription);
    EXPECT_EQ(byName["weekly"]->getValue4Key("mediafile"), "weekly.jpg");
}

TEST_F(CampaignMgrTest, SavingAgainRemovesKeysOfDroppedPeriods) {
    add("fallback");
    CCampaign& weekly = addMonday("weekly", 3, 8, 17);
    manager.saveAll();
    weekly.setScheduleType(schedule::monthdays);
    manager.saveAll();
    manager.saveAll();
    EXPECT_EQ(keysOf("campaign1"), (std::set<std::string>{"campaname", "sendfilename", "mediafile",
                                                          "prio", "scheduletyp", "numperiods"}));
}

// What the dialogs save is what the station loads: campaigns of every schedule type, reloaded by
// another manager, come back with every value, and saving them again writes the same bytes.
TEST_F(CampaignMgrTest, SavedCampaignsOfEveryTypeLoadBackIdentically) {
    add("fallback");
    CCampaign& weekly = addMonday("weekly", 3, 8, 17);
    auto sunday = std::make_unique<schedule::CWeekdayPeriod>(1);
    sunday->setStart({1, 7, 30});
    sunday->setEnd({1, 9, 15});
    weekly.getSchedule()->addPeriod(std::move(sunday));
    CCampaign& monthly = add("monthly");
    monthly.setScheduleType(schedule::monthdays);
    for (int day : {3, 31}) {
        auto period =
            std::make_unique<schedule::CMonthdayPeriod>(monthly.getSchedule()->getNumPeriods());
        period->setStart({day, 10, 0});
        period->setEnd({day, 12, 45});
        monthly.getSchedule()->addPeriod(std::move(period));
    }
    CCampaign& once = add("once");
    once.setScheduleType(schedule::specific);
    auto period = std::make_unique<schedule::CSpecificPeriod>();
    period->setStart(1272697200);
    period->setEnd(1272729600);
    once.getSchedule()->addPeriod(std::move(period));
    ASSERT_TRUE(manager.saveAll());
    const std::string saved = station.read("tolvik.ini");

    CCampaignMgr restarted;
    restarted.loadAll();
    const auto describe = [](CCampaignMgr& from) {
        std::vector<std::string> lines;
        for (CCampaign* c = from.getFirst(); c; c = from.getNext()) {
            lines.push_back(c->getValue4Key("campaname") + "|" + c->getValue4Key("sendfilename") +
                            "|" + c->getValue4Key("mediafile") + "|" +
                            std::to_string(c->getPrio()) + "|" +
                            std::to_string(c->getSchedule()->getType()) + "|" +
                            std::to_string(c->getSchedule()->getNumPeriods()) + "|" +
                            c->getSchedule()->getDescription() + "|" +
                            (c->isSendable() ? "sendable" : "not sendable"));
        }
        return lines;
    };
    EXPECT_EQ(describe(restarted), describe(manager));
    ASSERT_TRUE(restarted.saveAll());
    EXPECT_EQ(station.read("tolvik.ini"), saved);
}

// A save that cannot be completed (here: the new list is larger than the file may grow) must
// leave the list as it was, never some sections erased and others not yet written.
TEST_F(CampaignMgrTest, ASaveThatFailsLeavesTheOldListWhole) {
    add("fallback");
    addMonday("weekly", 3, 8, 17);
    add("third");
    ASSERT_TRUE(manager.saveAll());
    const std::string before = station.read("tolvik.ini");
    for (CCampaign* c = manager.getFirst(); c; c = manager.getNext()) {
        c->setValue4Key("mediafile", std::string(300, 'm') + ".jpg");
    }

    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit original{};
    ::getrlimit(RLIMIT_FSIZE, &original);
    rlimit small = original;
    small.rlim_cur = before.size() + 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = manager.saveAll();
    ::setrlimit(RLIMIT_FSIZE, &original);
    ::sigaction(SIGXFSZ, &previous, nullptr);

    EXPECT_FALSE(saved);
    EXPECT_EQ(station.read("tolvik.ini"), before);
    CCampaignMgr restarted;
    restarted.loadAll();
    EXPECT_EQ(restarted.getCount(), 3);

    ASSERT_TRUE(manager.saveAll()) << "the next save removes the old sections and writes all";
    restarted.loadAll();
    ASSERT_EQ(restarted.getCount(), 3);
    for (CCampaign* c = restarted.getFirst(); c; c = restarted.getNext()) {
        EXPECT_EQ(c->getValue4Key("mediafile").size(), 304u);
    }
}

TEST_F(CampaignMgrTest, LoadingStopsAtTheFirstBadSection) {
    const std::string first = section(1, "first", 0, 1000);
    const std::string third = section(3, "third", 1, 3);
    struct Case {
        const char* what;
        std::string secondSection;
    };
    const Case cases[] = {
        {"missing prio",
         "[campaign2]\ncampaname=second\nsendfilename=s\nmediafile=s.jpg\n"
         "scheduletyp=1\nnumperiods=0\n"},
        {"missing scheduletyp",
         "[campaign2]\ncampaname=second\nsendfilename=s\nmediafile=s.jpg\n"
         "prio=2\nnumperiods=0\n"},
        {"missing period key",
         "[campaign2]\ncampaname=second\nsendfilename=s\nmediafile=s.jpg\n"
         "prio=2\nscheduletyp=1\nnumperiods=1\nweekdaystart0=1\n"},
        {"gap in the numbering", ""},
        {"marker value",
         "[campaign2]\ncampaname=default66bb\nsendfilename=s\nmediafile=s.jpg\n"
         "prio=2\nscheduletyp=1\nnumperiods=0\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeList(first + c.secondSection + third);
        manager.loadAll();
        EXPECT_EQ(enumeration(), std::vector<std::string>{"first"});
    }
    writeList(first + section(2, "second", 1, 2) + third);
    manager.loadAll();
    EXPECT_EQ(manager.getCount(), 3);
}

TEST_F(CampaignMgrTest, HandEditedRuleBreaksLoadInTheShapeTheRulesAllow) {
    writeList(section(1, "first", 0, 1000) + section(2, "second", 0, 1000) +
              section(3, "third", 0, 7) + section(4, "fourth", 1, 1000) +
              section(5, "fifth", 1, 0) +
              "[campaign6]\ncampaname=sixth\nsendfilename=x\n"
              "mediafile=x.jpg\nprio=lots\nscheduletyp=never\nnumperiods=?\n");
    manager.loadAll();
    ASSERT_EQ(manager.getCount(), 6);
    std::map<std::string, CCampaign*> byName;
    for (CCampaign* c = manager.getFirst(); c; c = manager.getNext()) {
        byName[c->getValue4Key("campaname")] = c;
    }
    int alwaysCampaigns = 0;
    for (const auto& [name, campaign] : byName) {
        SCOPED_TRACE(name);
        const bool isAlways = campaign->getSchedule()->getType() == schedule::always;
        alwaysCampaigns += isAlways ? 1 : 0;
        EXPECT_EQ(campaign->getPrio() == ALWAYS_PRIO, isAlways);
    }
    EXPECT_EQ(alwaysCampaigns, 1);
    EXPECT_EQ(byName["first"]->getSchedule()->getType(), schedule::always);
    EXPECT_EQ(byName["fifth"]->getPrio(), 0) << "priorities other than 1000 are kept";
    EXPECT_TRUE(std::filesystem::exists("campaigns_test_err.txt")) << "the repairs are logged";
}

// Two campaigns of one name would lose one of them at the next load: a rename to a name in use
// is refused, and a renamed campaign is found under its new name only.
TEST_F(CampaignMgrTest, ARenamedCampaignIsFiledUnderItsNewNameUnlessAnotherHasIt) {
    add("fallback");
    CCampaign& spring = add("spring");
    add("summer");
    spring.setValue4Key("campaname", "summer");
    EXPECT_FALSE(manager.rename(&spring));
    spring.setValue4Key("campaname", "autumn");
    EXPECT_TRUE(manager.rename(&spring));
    EXPECT_TRUE(manager.rename(&spring)) << "the same name again";
    CCampaign stranger(&manager);
    EXPECT_FALSE(manager.rename(&stranger));

    auto taken = std::make_unique<CCampaign>(&manager);
    taken->setValue4Key("campaname", "autumn");
    EXPECT_FALSE(manager.addCampaign(std::move(taken)));
    add("spring");
    ASSERT_TRUE(manager.saveAll());
    CCampaignMgr restarted;
    restarted.loadAll();
    EXPECT_EQ(restarted.getCount(), 4);
}

TEST_F(CampaignMgrTest, SameNameInALaterSectionReplacesTheEarlierCampaign) {
    writeList(section(1, "first", 0, 1000) + section(2, "twin", 1, 5) + section(3, "twin", 1, 6));
    manager.loadAll();
    EXPECT_EQ(manager.getCount(), 2);
    manager.saveAll();
    EXPECT_EQ(platform::profile::sections(listFile()),
              (std::vector<std::string>{"campaign1", "campaign2"}));
}

class RangeTestCampaignTest : public CampaignMgrTest {
  protected:
    void placePicture(std::size_t size) {
        const std::filesystem::path shipped =
            std::filesystem::path(NYVEX_SOURCE_DIR) / "data/station/testpic.gif";
        std::ifstream in(shipped, std::ios::binary);
        std::string bytes(std::istreambuf_iterator<char>(in), {});
        ASSERT_EQ(bytes.size(), 2883u) << "the shipped picture";
        bytes.resize(size, '\0');
        station.write("testpic.gif", bytes);
    }
};

TEST_F(RangeTestCampaignTest, ShippedPictureMakesACampaignWithAFreshRandomName) {
    placePicture(2883);
    clock.set(platform::fromTimeT(1720000000) + std::chrono::milliseconds(17));
    CCampaign* campaign = manager.getRangeTestCampaign();
    ASSERT_NE(campaign, nullptr);
    const std::string sendName = campaign->getValue4Key("sendfilename");
    EXPECT_EQ(sendName.size(), 8u);
    EXPECT_EQ(campaign->getSendFileName(), sendName + ".gif");
    EXPECT_EQ(campaign->getMimeType(), "image/gif");
    EXPECT_EQ(campaign->getMediaFilePath(), dataFolder() + "testpic.gif");
    EXPECT_EQ(manager.getCount(), 0) << "the test campaign is not one of the list";

    clock.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(manager.getRangeTestCampaign(), campaign);
    EXPECT_NE(campaign->getValue4Key("sendfilename"), sendName);
}

TEST_F(RangeTestCampaignTest, PictureOfAnotherSizeOrMissingGivesNone) {
    placePicture(2882);
    EXPECT_EQ(manager.getRangeTestCampaign(), nullptr);
    placePicture(2884);
    EXPECT_EQ(manager.getRangeTestCampaign(), nullptr);
    std::filesystem::remove("testpic.gif");
    EXPECT_EQ(manager.getRangeTestCampaign(), nullptr);
    placePicture(2883);
    EXPECT_NE(manager.getRangeTestCampaign(), nullptr) << "a repaired picture is taken again";
}

TEST_F(CampaignMgrTest, RandomNamesRepeatWithinAMillisecondValueAndNeverHoldYOrZ) {
    const platform::TimePoint base = platform::fromTimeT(1720000000);
    std::set<std::string> names;
    for (int ms = 0; ms < 1000; ++ms) {
        clock.set(base + std::chrono::milliseconds(ms));
        const std::string name = CRandomName().make(8);
        ASSERT_EQ(name.size(), 8u);
        EXPECT_EQ(name.find_first_of("YZ"), std::string::npos) << name;
        EXPECT_EQ(CRandomName().make(8), name) << "same millisecond";
        clock.set(base + std::chrono::seconds(5) + std::chrono::milliseconds(ms));
        EXPECT_EQ(CRandomName().make(8), name) << "same millisecond value, other second";
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 1000u);
    EXPECT_EQ(CRandomName().make(0), "");
}

}  // namespace
