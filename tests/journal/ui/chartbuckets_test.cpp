#include "journal/ui/chartbuckets.h"

#include <gtest/gtest.h>

#include "tests/common/zoneguard.h"

using journal::HourCount;
using journal::Outcome;
using journal::ui::Bucket;
using journal::ui::BucketSize;

namespace {

using testing_support::ZoneGuard;

constexpr std::int64_t march1Utc = 1772323200;  // 2026-03-01 00:00 UTC
constexpr std::int64_t hour = 3600;

Bucket bucket(std::int64_t start, std::vector<std::pair<Outcome, std::int64_t>> counts) {
    Bucket result{start};
    for (auto [outcome, pushes] : counts)
        result.pushes[static_cast<std::size_t>(outcome)] = pushes;
    return result;
}

// Two hours either side of midnight in a zone two hours east of UTC.
const std::vector<HourCount> aroundLocalMidnight{
    {march1Utc + 20 * hour, Outcome::delivered, 3},  // 22:00 local, 1 March
    {march1Utc + 20 * hour, Outcome::refused, 1},
    {march1Utc + 22 * hour, Outcome::delivered, 2},  // 00:00 local, 2 March
    {march1Utc + 34 * hour, Outcome::delivered, 5},  // 12:00 local, 2 March
    {march1Utc + 34 * hour, Outcome::rangeTest, 4},
};

}  // namespace

TEST(ChartBuckets, HoursAndLocalDays) {
    const ZoneGuard zone("EET-2");
    struct Case {
        const char* what;
        BucketSize size;
        std::vector<Bucket> expected;
    };
    const Case cases[] = {
        {"each hour its own column",
         BucketSize::hour,
         {bucket(march1Utc + 20 * hour, {{Outcome::delivered, 3}, {Outcome::refused, 1}}),
          bucket(march1Utc + 22 * hour, {{Outcome::delivered, 2}}),
          bucket(march1Utc + 34 * hour, {{Outcome::delivered, 5}, {Outcome::rangeTest, 4}})}},
        {"hours folded by local date, not by UTC date",
         BucketSize::day,
         {bucket(march1Utc - 2 * hour, {{Outcome::delivered, 3}, {Outcome::refused, 1}}),
          bucket(march1Utc + 22 * hour, {{Outcome::delivered, 7}, {Outcome::rangeTest, 4}})}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(journal::ui::foldBuckets(aroundLocalMidnight, c.size), c.expected) << c.what;
}

TEST(ChartBuckets, OutcomeOfALaterVersionIsLeftOut) {
    const std::vector<HourCount> hours{{march1Utc, Outcome::delivered, 1},
                                       {march1Utc, static_cast<Outcome>(99), 7}};
    EXPECT_EQ(journal::ui::foldBuckets(hours, BucketSize::hour),
              std::vector<Bucket>{bucket(march1Utc, {{Outcome::delivered, 1}})});
}
