// The operator changes and deletes campaigns through the campaigns command (its dialog stands in
// here) while the job machine turns a steady stream of devices into jobs and a slow phone's push
// stays in flight. No worker may read a campaign while it changes or after it is gone:
// AddressSanitizer and ThreadSanitizer watch every round.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "app/station/threadcenter.h"
#include "campaigns/campaignmgr.h"
#include "campaigns/specificperiod.h"
#include "platform/text.h"
#include "tests/common/registeredpart.h"
#include "tests/common/sightings.h"
#include "tests/common/tempfolder.h"
#include "tests/common/waituntil.h"
#include "tests/sending/fakeobexa.h"

using namespace std::chrono_literals;
using testing_support::makeSighting;
using testing_support::RegisteredPart;
using testing_support::StationFolder;
using testing_support::waitUntil;

namespace {

constexpr const char* fakeLibrary = NYVEX_TEST_DIR "/libsending_fakeobexa.so";
constexpr std::uint32_t slowPhone = 0x5100;
constexpr std::uint32_t lastPhone = 0xF00D;
constexpr int rounds = 60;
constexpr int unsendableCampaigns = 30;

class CampaignChangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        blto::CBlueSync::setTimeScale(0.01);
        fakeobexa::reset();
        station.write("world.ini", "[radio]\naddress=00:1A:7D:DA:71:13\nname=R\ntimescale=0\n");
        setenv("NYVEX_SIMULATION", station.file("world.ini").c_str(), 1);
        station.write("base.gif", "GIF89a base");
        station.write("offer.gif", "GIF89a offer");
        addCampaign("Base", "base.gif");  // the always campaign
        addCampaign("Opening", "offer.gif");
        // Active campaigns without a media file: every choice walks past them.
        for (int i = 0; i < unsendableCampaigns; ++i) {
            addCampaign("Filler" + std::to_string(i), "missing.gif");
        }
        ASSERT_TRUE(campaigns->saveAll());
        centerPart =
            std::make_unique<RegisteredPart<CThreadCenter>>(library("libRadiox.so"), fakeLibrary);
        center = centerPart->get();
        ASSERT_TRUE(center->front()->createScanner());
        ASSERT_TRUE(center->sender()->isReady());
    }

    void TearDown() override {
        stopFeeding();
        fakeobexa::release(slowPhone);
        centerPart.reset();
        unsetenv("NYVEX_SIMULATION");
        blto::CBlueSync::setTimeScale(1.0);
    }

    static std::string library(const std::string& name) {
        return std::string(NYVEX_BIN_DIR) + "/" + name;
    }

    // A campaign active from yesterday to tomorrow (the first one is the always campaign).
    campag::CCampaign& addCampaign(const std::string& name, const std::string& media) {
        auto campaign = std::make_unique<campag::CCampaign>(campaigns.get());
        campaign->setValue4Key("campaname", name);
        campaign->setValue4Key("sendfilename", name);
        campaign->setValue4Key("mediafile", media);
        if (campaign->getSchedule()->getType() != schedule::always) {
            campaign->setScheduleType(schedule::specific);
            auto period = std::make_unique<schedule::CSpecificPeriod>();
            period->setStart(schedule::currentTime() - 86400);
            period->setEnd(schedule::currentTime() + 86400);
            campaign->getSchedule()->addPeriod(std::move(period));
        }
        campag::CCampaign& added = *campaign;
        EXPECT_TRUE(campaigns->addCampaign(std::move(campaign)));
        return added;
    }

    // New devices arrive all the time, as the back office would pass them on, a few waiting at
    // any moment.
    void startFeeding() {
        feeder = std::thread([this] {
            for (std::uint64_t address = 1; feeding;) {
                if (center->newDevices().count() < 5) {
                    center->newDevices().addUnique(makeSighting(address++));
                }
                std::this_thread::sleep_for(1ms);
            }
        });
    }
    void stopFeeding() {
        feeding = false;
        if (feeder.joinable()) {
            feeder.join();
        }
    }

    // What the campaign dialog does to the list in one run: deletes the campaign being sent,
    // adds one that takes its place, changes another and saves.
    void changeCampaigns(int round) {
        campag::CCampaign* sent = campaigns->chooseCampaign();
        ASSERT_NE(sent, nullptr);
        campaigns->removeCampaign(sent);
        addCampaign("Round" + std::to_string(round), "offer.gif");
        for (campag::CCampaign* c = campaigns->getFirst(); c; c = campaigns->getNext()) {
            if (c->getSchedule()->getType() == schedule::always) {
                c->setValue4Key("sendfilename", "Base" + std::to_string(round));
            }
        }
        ASSERT_TRUE(campaigns->saveAll());
    }

    StationFolder station;
    RegisteredPart<campag::CCampaignMgr> campaigns;
    // Made in SetUp, after the campaigns it reads; goes before them.
    std::unique_ptr<RegisteredPart<CThreadCenter>> centerPart;
    CThreadCenter* center = nullptr;
    std::atomic<bool> feeding{true};
    std::thread feeder;
};

}  // namespace

TEST_F(CampaignChangeTest, CampaignsChangeAndGoWhileJobsAreMadeAndASlowPushIsInFlight) {
    fakeobexa::hold(slowPhone);
    center->startAll();
    center->newDevices().addUnique(makeSighting(slowPhone));
    ASSERT_TRUE(fakeobexa::waitUntilPushing(slowPhone, 20s));
    startFeeding();

    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(waitUntil([&] { return fakeobexa::finishedCount() > round; }))
            << "pushes go on between the changes";
        const auto before = std::chrono::steady_clock::now();
        std::chrono::steady_clock::duration waited{};
        const bool ran = theApp().runToolCommand(ToolCommand::campaigns, [&] {
            waited = std::chrono::steady_clock::now() - before;
            EXPECT_EQ(center->sender()->jobCount(), 0);
            changeCampaigns(round);
            return 1;
        });
        ASSERT_TRUE(ran) << "the workers left the campaigns in time";
        EXPECT_LT(waited, CThreadCenter::toolPauseWait) << "the pause never waits for the phone";
    }
    stopFeeding();

    // A device seen after the last change gets what the operator set last.
    center->newDevices().addUnique(makeSighting(lastPhone));
    ASSERT_TRUE(waitUntil([] {
        for (const auto& push : fakeobexa::pushes()) {
            if (push.low == lastPhone) {
                return true;
            }
        }
        return false;
    }));
    for (const auto& push : fakeobexa::pushes()) {
        if (push.low == lastPhone) {
            EXPECT_EQ(push.name,
                      u"Round" + platform::toUtf16(std::to_string(rounds - 1)) + u".gif");
        }
    }

    // The slow phone's push, in flight through every change, sends the campaign it was made for.
    fakeobexa::release(slowPhone);
    ASSERT_TRUE(waitUntil([] { return fakeobexa::finishedCount() > rounds + 1; }));
    EXPECT_EQ(fakeobexa::pushes().front().low, slowPhone);
    EXPECT_EQ(fakeobexa::pushes().front().name, u"Opening.gif");
    EXPECT_EQ(fakeobexa::pushes().front().path, u"offer.gif");
}
