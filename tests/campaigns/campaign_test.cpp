#include "campaigns/campaign.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "campaigns/weekdayperiod.h"
#include "platform/profile.h"
#include "stationfixture.h"

using campag::ALWAYS_PRIO;
using campag::CCampaign;
using campag::CCampaignException;

namespace {

// The text of the campaign exception `action` throws, or nothing.
template <typename Action>
std::optional<std::string> thrownText(Action action) {
    try {
        action();
    } catch (const CCampaignException& e) {
        return e.text();
    }
    return std::nullopt;
}

class CampaignTest : public testing_station::StationTest {
  protected:
    // A campaign owned by the manager, as the campaign dialog leaves it.
    CCampaign& addCampaign(const std::string& name) {
        auto campaign = std::make_unique<CCampaign>(&manager);
        campaign->setValue4Key("campaname", name);
        CCampaign& added = *campaign;
        EXPECT_TRUE(manager.addCampaign(std::move(campaign)));
        return added;
    }

    static void addWeekdayPeriod(CCampaign& campaign) {
        auto period =
            std::make_unique<schedule::CWeekdayPeriod>(campaign.getSchedule()->getNumPeriods());
        period->setStart({2, 8, 0});
        period->setEnd({2, 17, 0});
        campaign.getSchedule()->addPeriod(std::move(period));
    }

    // A sendable campaign whose media file lies in the data folder.
    static void makeSendable(CCampaign& campaign, const std::string& media = "spring.jpg") {
        std::ofstream(media) << "picture";
        campaign.setValue4Key("mediafile", media);
        campaign.setValue4Key("sendfilename", "offer");
    }
};

TEST_F(CampaignTest, FirstCampaignIsTheAlwaysCampaignLaterOnesGetTheLowestFreePriority) {
    CCampaign& first = addCampaign("first");
    EXPECT_EQ(first.getSchedule()->getType(), schedule::always);
    EXPECT_EQ(first.getPrio(), ALWAYS_PRIO);
    EXPECT_EQ(first.getValue4Key("prio"), "1000");

    CCampaign& second = addCampaign("second");
    EXPECT_EQ(second.getSchedule()->getType(), schedule::weekdays);
    EXPECT_EQ(second.getPrio(), 1);
    EXPECT_EQ(CCampaign(&manager).getPrio(), 2);
}

TEST_F(CampaignTest, PriorityRules) {
    CCampaign& always = addCampaign("always");
    CCampaign& weekday = addCampaign("weekday");
    struct Case {
        const char* what;
        CCampaign& campaign;
        int prio;
        std::optional<std::string> error;
        int prioAfter;
    };
    const Case cases[] = {
        {"always campaign, other priority", always, 3, "ALWAYS campaign must have ALWAYS_PRIO",
         ALWAYS_PRIO},
        {"always campaign, ALWAYS_PRIO", always, ALWAYS_PRIO, std::nullopt, ALWAYS_PRIO},
        {"scheduled campaign, ALWAYS_PRIO", weekday, ALWAYS_PRIO,
         "only ALWAYS campaign may have ALWAYS_PRIO", 1},
        {"scheduled campaign, 999", weekday, 999, std::nullopt, 999},
        {"scheduled campaign, 1", weekday, 1, std::nullopt, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(thrownText([&] { c.campaign.setPrio(c.prio); }), c.error);
        EXPECT_EQ(c.campaign.getPrio(), c.prioAfter);
    }
}

TEST_F(CampaignTest, TypeChangesSetThePriorityAndDropThePeriods) {
    CCampaign& always = addCampaign("always");
    CCampaign& weekday = addCampaign("weekday");  // priority 1
    weekday.setPrio(4);
    addWeekdayPeriod(weekday);

    weekday.setScheduleType(schedule::weekdays);
    EXPECT_EQ(weekday.getSchedule()->getNumPeriods(), 1) << "the same type keeps the periods";

    EXPECT_EQ(thrownText([&] { weekday.setScheduleType(schedule::always); }),
              "only one ALWAYS campaign is allowed");
    EXPECT_EQ(weekday.getSchedule()->getType(), schedule::weekdays);
    EXPECT_EQ(weekday.getPrio(), 4);
    EXPECT_EQ(weekday.getSchedule()->getNumPeriods(), 1);

    always.setScheduleType(schedule::always);
    EXPECT_EQ(always.getPrio(), ALWAYS_PRIO) << "the always campaign itself may stay always";

    weekday.setScheduleType(schedule::specific);
    EXPECT_EQ(weekday.getPrio(), 4);
    EXPECT_EQ(weekday.getSchedule()->getType(), schedule::specific);
    EXPECT_EQ(weekday.getSchedule()->getNumPeriods(), 0);
    EXPECT_EQ(weekday.getSchedule()->getValue4Key("numperiods"), "0");

    always.setScheduleType(schedule::monthdays);
    EXPECT_EQ(always.getPrio(), 1) << "the lowest free priority";
    EXPECT_EQ(always.getSchedule()->getNumPeriods(), 0);

    addWeekdayPeriod(weekday);
    weekday.setScheduleType(schedule::always);
    EXPECT_EQ(weekday.getPrio(), ALWAYS_PRIO);
    EXPECT_EQ(weekday.getSchedule()->getNumPeriods(), 0);
}

TEST_F(CampaignTest, NameCheck) {
    struct Case {
        const char* name;
        bool valid;
    };
    const Case cases[] = {
        {"abc", true},
        {"abcdefghijklmnopq", true},
        {"\xC3\xBC"
         "berall",
         true},  // 7 code units, not 8 bytes' worth
        {"ab", false},
        {"abcdefghijklmnopqr", false},
        {"two words", false},
        {"50%off", false},
        {"price\xE2\x82\xAC", false},
        {"a/b/c", false},
        {"", false},
    };
    CCampaign campaign(&manager);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        campaign.setValue4Key("campaname", c.name);
        campaign.setValue4Key("sendfilename", c.name);
        EXPECT_EQ(campaign.isNameValid(), c.valid);
        EXPECT_EQ(campaign.isSendFileNameValid(), c.valid);
    }
}

TEST_F(CampaignTest, MediaPathResolution) {
    std::ofstream("here.jpg") << "x";
    struct Case {
        std::string media;
        std::string path;
    };
    const Case cases[] = {
        {"ab", ""},
        {"here.jpg", "here.jpg"},
        {"elsewhere.jpg", dataFolder() + "elsewhere.jpg"},
        {"/no/such/folder/x.jpg", "/no/such/folder/x.jpg"},
    };
    CCampaign campaign(&manager);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.media);
        campaign.setValue4Key("mediafile", c.media);
        EXPECT_EQ(campaign.getMediaFilePath(), c.path);
    }
}

TEST_F(CampaignTest, ExtensionSendNameAndContentType) {
    struct Case {
        const char* media;
        std::optional<std::string> sendName;
        const char* contentType;
    };
    const Case cases[] = {
        {"spring.jpg", "offer.jpg", "image/jpeg"},
        {"SPRING.JPG", "offer.JPG", "image/jpeg"},
        {"/media/clip.tar.gif", "offer.gif", "image/gif"},
        {"notes.zzqx", "offer.zzqx", "application/octet-stream"},
        {"dir.v2/noext", std::nullopt, "application/octet-stream"},
        {"noextension", std::nullopt, "application/octet-stream"},
        {"trailing.", std::nullopt, "application/octet-stream"},
        {"spaced. ", std::nullopt, "application/octet-stream"},
        {"ab", std::nullopt, "application/octet-stream"},
    };
    CCampaign campaign(&manager);
    campaign.setValue4Key("sendfilename", "offer");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.media);
        campaign.setValue4Key("mediafile", c.media);
        std::optional<std::string> sendName;
        const auto error = thrownText([&] { sendName = campaign.getSendFileName(); });
        EXPECT_EQ(sendName, c.sendName);
        if (!c.sendName) {
            EXPECT_EQ(error, "campaign has empty extension");
        }
        EXPECT_EQ(campaign.getMimeType(), c.contentType);
    }
}

TEST_F(CampaignTest, SendableOnlyWithMediaFileAndValidNames) {
    CCampaign campaign(&manager);
    campaign.setValue4Key("campaname", "spring");
    makeSendable(campaign);
    EXPECT_TRUE(campaign.isSendable());

    struct Case {
        const char* what;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"media file missing", "mediafile", "missing.jpg"},
        {"media value too short", "mediafile", "ab"},
        {"media file without extension", "mediafile", "noext"},
        {"campaign name invalid", "campaname", "x"},
        {"send name invalid", "sendfilename", "a b"},
    };
    std::ofstream("noext") << "x";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CCampaign broken(&manager);
        broken.setValue4Key("campaname", "spring");
        makeSendable(broken);
        broken.setValue4Key(c.key, c.value);
        EXPECT_FALSE(broken.isSendable());
    }
}

TEST_F(CampaignTest, MediaFileInTheDataFolderIsFoundFromAnotherDirectory) {
    CCampaign campaign(&manager);
    campaign.setValue4Key("campaname", "spring");
    makeSendable(campaign);
    testing_support::TempFolder elsewhere;
    std::filesystem::current_path(elsewhere.path());
    EXPECT_TRUE(campaign.isSendable());
    EXPECT_EQ(campaign.getMediaFilePath(), dataFolder() + "spring.jpg");
    std::filesystem::current_path(station.path());
}

// A file whose extension is only a dot and blanks exists, but it has no send name: such a
// campaign is not sendable, so the sender never meets the exception.
TEST_F(CampaignTest, MediaFileWithBlankExtensionIsNotSendable) {
    CCampaign campaign(&manager);
    campaign.setValue4Key("campaname", "spring");
    makeSendable(campaign, "clip. ");
    EXPECT_FALSE(campaign.isSendable());
}

TEST_F(CampaignTest, SaveLoadAndErase) {
    addCampaign("always");
    CCampaign& saved = addCampaign("spring");
    makeSendable(saved);
    saved.setPrio(7);
    addWeekdayPeriod(saved);
    saved.save(4);
    EXPECT_EQ(saved.getIndex(), 4);

    CCampaign loaded(&manager);
    ASSERT_TRUE(loaded.load(4));
    EXPECT_EQ(loaded.getValue4Key("campaname"), "spring");
    EXPECT_EQ(loaded.getValue4Key("sendfilename"), "offer");
    EXPECT_EQ(loaded.getValue4Key("mediafile"), "spring.jpg");
    EXPECT_EQ(loaded.getPrio(), 7);
    EXPECT_EQ(loaded.getSchedule()->getNumPeriods(), 1);
    EXPECT_EQ(loaded.getSchedule()->getDescription(), saved.getSchedule()->getDescription());

    loaded.erase(0);
    EXPECT_EQ(loaded.getSchedule()->getNumPeriods(), 0);
    EXPECT_TRUE(platform::profile::keys(listFile(), "campaign4").empty());
    EXPECT_FALSE(CCampaign(&manager).load(4));
}

}  // namespace
