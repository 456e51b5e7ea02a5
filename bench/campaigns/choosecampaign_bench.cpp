// How long one send decision takes: chooseCampaign over 10, 100 and 1000 campaigns, each with a
// weekday schedule of 7 periods (one per day, all day long, so every campaign is active and its
// sendability is checked) and an existing media file in the data folder.

#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <string>

#include "campaigns/campaignmgr.h"
#include "campaigns/weekdayperiod.h"
#include "platform/clock.h"
#include "tests/common/tempfolder.h"

namespace {

void fillStation(campag::CCampaignMgr& manager, int count) {
    for (int i = 0; i < count; ++i) {
        const std::string name = "campaign" + std::to_string(i);
        auto campaign = std::make_unique<campag::CCampaign>(&manager);
        campaign->setScheduleType(schedule::weekdays);
        campaign->setValue4Key("campaname", name);
        campaign->setValue4Key("sendfilename", name);
        campaign->setValue4Key("mediafile", name + ".jpg");
        std::ofstream(name + ".jpg") << "picture";
        for (int day = 1; day <= 7; ++day) {
            auto period = std::make_unique<schedule::CWeekdayPeriod>(day - 1);
            period->setStart({day, 0, 0});
            period->setEnd({day, 23, 59});
            campaign->getSchedule()->addPeriod(std::move(period));
        }
        manager.addCampaign(std::move(campaign));
    }
}

void chooseCampaign(benchmark::State& state) {
    // Wednesday, 3 July 2024, 12:00 UTC: inside every campaign's period in any time zone.
    const platform::ManualClock clock(platform::fromTimeT(1720008000));
    const platform::ScopedClock useClock(clock);
    testing_support::StationFolder station;
    campag::CCampaignMgr manager;
    fillStation(manager, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(manager.chooseCampaign());
    }
}

}  // namespace

BENCHMARK(chooseCampaign)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
