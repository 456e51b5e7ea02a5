#include "platform/clock.h"

#include <gtest/gtest.h>

#include "tests/common/zoneguard.h"

using testing_support::ZoneGuard;

TEST(Clock, InstalledManualClockIsWhatNowReturns) {
    platform::ManualClock manual(platform::fromTimeT(1000));
    {
        platform::ScopedClock scope(manual);
        EXPECT_EQ(platform::now(), platform::fromTimeT(1000));
        manual.advance(std::chrono::seconds(5));
        EXPECT_EQ(platform::now(), platform::fromTimeT(1005));
    }
    EXPECT_GT(platform::now(), platform::fromTimeT(1700000000));
}

TEST(Clock, OleDatesAreLocalWallClockDays) {
    ZoneGuard zone("Europe/Berlin");
    platform::LocalTime noon{2026, 12, 7, 12, 0, 0, 0, 0};
    const auto t = platform::fromLocal(noon);
    EXPECT_DOUBLE_EQ(platform::toOleDate(t), 46363.5);
    EXPECT_EQ(platform::fromOleDate(46363.5), t);
    platform::LocalTime epoch{1899, 12, 30, 0, 0, 0, 0, 0};
    EXPECT_DOUBLE_EQ(platform::toOleDate(platform::fromLocal(epoch)), 0.0);
}

TEST(Clock, OleDateRoundTripAcrossDaylightSavingChange) {
    ZoneGuard zone("Europe/Berlin");
    for (int hour : {0, 1, 3, 12, 23}) {
        platform::LocalTime l{2026, 3, 29, hour, 30, 15, 250, 0};
        const auto t = platform::fromLocal(l);
        EXPECT_EQ(platform::fromOleDate(platform::toOleDate(t)), t) << hour;
    }
}

TEST(Clock, FormatUsesTheCLocaleMonthNames) {
    ZoneGuard zone("UTC");
    EXPECT_EQ(platform::formatLocal(platform::fromTimeT(1796611390), "%d. %b %Y %H:%M:%S"),
              "07. Dec 2026 02:43:10");
}
