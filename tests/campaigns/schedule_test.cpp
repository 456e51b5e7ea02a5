#include "campaigns/schedule.h"

#include <gtest/gtest.h>

#include <memory>

#include "campaigns/monthdayperiod.h"
#include "campaigns/specificperiod.h"
#include "campaigns/weekdayperiod.h"
#include "platform/profile.h"
#include "stationfixture.h"

using schedule::CMonthdayPeriod;
using schedule::CMonthdayTime;
using schedule::CSchedule;
using schedule::CSpecificPeriod;
using schedule::CWeekdayPeriod;
using schedule::CWeekdayTime;
using testing_station::localSeconds;
using testing_station::ScopedTimeZone;

namespace {

constexpr int sunday = 1;
constexpr int monday = 2;
constexpr int saturday = 7;

std::unique_ptr<CWeekdayPeriod> weekdayPeriod(int position, CWeekdayTime start, CWeekdayTime end) {
    auto period = std::make_unique<CWeekdayPeriod>(position);
    period->setStart(start);
    period->setEnd(end);
    return period;
}

std::unique_ptr<CMonthdayPeriod> monthdayPeriod(int position, CMonthdayTime start,
                                                CMonthdayTime end) {
    auto period = std::make_unique<CMonthdayPeriod>(position);
    period->setStart(start);
    period->setEnd(end);
    return period;
}

std::unique_ptr<CSpecificPeriod> specificPeriod(std::int64_t start, std::int64_t end) {
    auto period = std::make_unique<CSpecificPeriod>();
    period->setStart(start);
    period->setEnd(end);
    return period;
}

struct Moment {
    const char* what;
    std::int64_t at;
    bool active;
};

void expectActivity(const schedule::CPeriod& period, std::initializer_list<Moment> moments) {
    for (const Moment& moment : moments) {
        SCOPED_TRACE(moment.what);
        EXPECT_EQ(period.isActive(moment.at), moment.active);
    }
}

class ScheduleTest : public testing_station::StationTest {};

// 1 July 2024 is a Monday in summer time, while the stored times are January (winter) times:
// the bounds must still fall on the local wall-clock minute.
TEST_F(ScheduleTest, WeekdayBoundsAreExclusiveToTheMinute) {
    const auto period = weekdayPeriod(0, {monday, 8, 0}, {monday, 17, 0});
    expectActivity(*period, {
                                {"Monday 08:00:00", localSeconds(2024, 7, 1, 8, 0, 0), false},
                                {"Monday 08:00:30", localSeconds(2024, 7, 1, 8, 0, 30), false},
                                {"Monday 08:01:00", localSeconds(2024, 7, 1, 8, 1, 0), true},
                                {"Monday 16:59:59", localSeconds(2024, 7, 1, 16, 59, 59), true},
                                {"Monday 17:00:00", localSeconds(2024, 7, 1, 17, 0, 0), false},
                                {"Tuesday noon", localSeconds(2024, 7, 2, 12, 0, 0), false},
                                {"Monday in winter", localSeconds(2024, 1, 8, 12, 0, 0), true},
                            });
}

TEST_F(ScheduleTest, WeekdayPeriodsDoNotWrapAroundTheWeek) {
    const auto overnight = weekdayPeriod(0, {saturday, 22, 0}, {sunday, 6, 0});
    const auto reversed = weekdayPeriod(0, {monday, 22, 0}, {monday, 6, 0});
    for (const std::int64_t at :
         {localSeconds(2024, 7, 6, 23, 0), localSeconds(2024, 7, 7, 3, 0),
          localSeconds(2024, 7, 1, 23, 0), localSeconds(2024, 7, 1, 3, 0)}) {
        EXPECT_FALSE(overnight->isActive(at));
        EXPECT_FALSE(reversed->isActive(at));
    }
}

// On 31 March 2024 Berlin's clocks jump from 02:00 to 03:00.
TEST_F(ScheduleTest, WeekdayPeriodFollowsTheWallClockAcrossTheDaylightSavingSwitch) {
    const auto period = weekdayPeriod(0, {sunday, 1, 0}, {sunday, 4, 0});
    expectActivity(*period,
                   {
                       {"01:59:59 winter time", localSeconds(2024, 3, 31, 1, 59, 59), true},
                       {"03:00:00 summer time", localSeconds(2024, 3, 31, 3, 0, 0), true},
                       {"04:00:00 summer time", localSeconds(2024, 3, 31, 4, 0, 0), false},
                   });
}

TEST_F(ScheduleTest, MonthdayBoundsAndMonthLengths) {
    const auto lastDay = monthdayPeriod(0, {31, 10, 0}, {31, 12, 0});
    expectActivity(*lastDay, {
                                 {"31 March 11:00", localSeconds(2024, 3, 31, 11, 0), true},
                                 {"31 March 10:00:59", localSeconds(2024, 3, 31, 10, 0, 59), false},
                                 {"31 March 12:00", localSeconds(2024, 3, 31, 12, 0), false},
                                 {"30 April 11:00", localSeconds(2024, 4, 30, 11, 0), false},
                                 {"1 May 11:00", localSeconds(2024, 5, 1, 11, 0), false},
                             });
    // Such a period comes only from a hand-edited file: the dialogs build same-day periods.
    const auto acrossDays = monthdayPeriod(0, {5, 10, 0}, {7, 12, 0});
    expectActivity(*acrossDays, {
                                    {"day 5 10:00:59", localSeconds(2024, 6, 5, 10, 0, 59), false},
                                    {"day 5 10:01", localSeconds(2024, 6, 5, 10, 1), true},
                                    {"day 6 00:00", localSeconds(2024, 6, 6, 0, 0), true},
                                    {"day 7 11:59:59", localSeconds(2024, 6, 7, 11, 59, 59), true},
                                    {"day 7 12:00", localSeconds(2024, 6, 7, 12, 0), false},
                                    {"day 4 11:00", localSeconds(2024, 6, 4, 11, 0), false},
                                });
}

TEST_F(ScheduleTest, SpecificBoundsAreExclusiveToTheSecond) {
    const std::int64_t start = localSeconds(2010, 5, 1, 9, 0, 0);
    const std::int64_t end = localSeconds(2010, 5, 1, 18, 0, 0);
    const auto period = specificPeriod(start, end);
    expectActivity(*period, {
                                {"at the start", start, false},
                                {"one second later", start + 1, true},
                                {"one second before the end", end - 1, true},
                                {"at the end", end, false},
                            });
    EXPECT_TRUE(period->isOrdered());
    EXPECT_FALSE(specificPeriod(end, end)->isOrdered());
    EXPECT_FALSE(specificPeriod(end, start)->isActive(start + 60));
}

TEST_F(ScheduleTest, ScheduleActivityByType) {
    const std::int64_t mondayNoon = localSeconds(2024, 7, 1, 12, 0);
    const std::int64_t tuesdayNoon = localSeconds(2024, 7, 2, 12, 0);
    CSchedule stale;
    stale.addPeriod(weekdayPeriod(0, {saturday, 1, 0}, {saturday, 2, 0}));
    stale.addPeriod(weekdayPeriod(1, {saturday, 3, 0}, {saturday, 4, 0}));
    stale.addPeriod(weekdayPeriod(2, {saturday, 5, 0}, {saturday, 6, 0}));
    EXPECT_TRUE(stale.isActive(mondayNoon)) << "type 0 ignores its periods";
    EXPECT_EQ(stale.getDescription(), "Always");

    CSchedule empty;
    empty.setType(schedule::weekdays);
    EXPECT_FALSE(empty.isActive(mondayNoon));
    EXPECT_EQ(empty.getDescription(), "");

    CSchedule twoPeriods;
    twoPeriods.setType(schedule::weekdays);
    twoPeriods.addPeriod(weekdayPeriod(0, {sunday, 8, 0}, {sunday, 9, 0}));
    twoPeriods.addPeriod(weekdayPeriod(1, {monday, 8, 0}, {monday, 17, 0}));
    EXPECT_EQ(twoPeriods.getNumPeriods(), 2);
    EXPECT_EQ(twoPeriods.getValue4Key("numperiods"), "2");
    EXPECT_TRUE(twoPeriods.isActive(mondayNoon));
    EXPECT_FALSE(twoPeriods.isActive(tuesdayNoon));
    EXPECT_EQ(twoPeriods.getPeriod(2), nullptr);
    EXPECT_EQ(twoPeriods.getPeriod(-1), nullptr);

    twoPeriods.setType(9);
    EXPECT_EQ(twoPeriods.getDescription(), "") << "an unknown type describes nothing";
    twoPeriods.clearPeriods();
    EXPECT_EQ(twoPeriods.getValue4Key("numperiods"), "0");
}

TEST_F(ScheduleTest, PeriodDescriptions) {
    EXPECT_EQ(weekdayPeriod(0, {sunday, 7, 30}, {sunday, 9, 15})->getDescription(),
              "Sunday 07:30 - 09:15\r\n");
    EXPECT_EQ(weekdayPeriod(0, {9, 7, 30}, {9, 9, 15})->getDescription(), " 07:30 - 09:15\r\n")
        << "a weekday code outside 1-7 has no name";
    EXPECT_EQ(monthdayPeriod(0, {5, 10, 0}, {5, 12, 0})->getDescription(),
              "Every 05. day of the month, 10:00 to 12:00\r\n");
    EXPECT_EQ(specificPeriod(localSeconds(2010, 5, 1, 9, 0), localSeconds(2010, 5, 2, 18, 0))
                  ->getDescription(),
              "Start: Saturday, May 01, 2010    09:00\r\nEnd: Sunday, May 02, 2010    18:00");

    CSchedule both;
    both.setType(schedule::weekdays);
    both.addPeriod(weekdayPeriod(0, {sunday, 7, 30}, {sunday, 9, 15}));
    both.addPeriod(weekdayPeriod(1, {saturday, 22, 0}, {saturday, 23, 59}));
    EXPECT_EQ(both.getDescription(), "Sunday 07:30 - 09:15\r\nSaturday 22:00 - 23:59\r\n");
}

TEST_F(ScheduleTest, DayTimesAreStoredAsJanuary1996LocalTimes) {
    const auto period = weekdayPeriod(0, {sunday, 7, 30}, {saturday, 23, 59});
    EXPECT_EQ(period->getInt64("weekdaystart0"), localSeconds(1996, 1, 1, 7, 30));
    EXPECT_EQ(period->getInt64("weekdayend0"), localSeconds(1996, 1, 7, 23, 59));
    const auto monthday = monthdayPeriod(3, {31, 0, 0}, {31, 23, 59});
    EXPECT_EQ(monthday->getInt64("monthdaystart3"), localSeconds(1996, 1, 31, 0, 0));
    EXPECT_THROW(monthday->setStart({32, 0, 0}), std::invalid_argument);
    EXPECT_THROW(monthday->setStart({1, 24, 0}), std::invalid_argument);
}

// Sydney keeps daylight saving time in January, Berlin does not.
TEST_F(ScheduleTest, DayTimesSurviveEncodingInZonesWithAndWithoutJanuaryDaylightSaving) {
    for (const char* zone : {"Europe/Berlin", "Australia/Sydney", "UTC", "America/New_York"}) {
        SCOPED_TRACE(zone);
        ScopedTimeZone inZone(zone);
        const auto period = weekdayPeriod(0, {sunday, 7, 30}, {saturday, 9, 15});
        EXPECT_EQ(period->getStart().minuteOfWeek(), CWeekdayTime(sunday, 7, 30).minuteOfWeek());
        EXPECT_EQ(period->getEnd().minuteOfWeek(), CWeekdayTime(saturday, 9, 15).minuteOfWeek());
    }
}

class SchedulePersistenceTest : public testing_station::StationTest {
  protected:
    // Saves `saved` into section "campaign1" and loads it into a fresh schedule.
    std::unique_ptr<CSchedule> roundTrip(CSchedule& saved) {
        saved.setListName("campaign");
        saved.save(1);
        auto loaded = std::make_unique<CSchedule>();
        loaded->setListName("campaign");
        EXPECT_TRUE(loaded->load(1));
        return loaded;
    }

    void writeSection(const std::string& lines) {
        station.write("tolvik.ini", "[campaign1]\n" + lines);
    }

    bool loads(CSchedule& target) {
        target.setListName("campaign");
        return target.load(1);
    }
};

TEST_F(SchedulePersistenceTest, EveryTypeSurvivesSaveAndLoad) {
    CSchedule always;
    EXPECT_EQ(roundTrip(always)->getType(), schedule::always);

    CSchedule weekdays;
    weekdays.setType(schedule::weekdays);
    weekdays.addPeriod(weekdayPeriod(0, {sunday, 7, 30}, {sunday, 9, 15}));
    weekdays.addPeriod(weekdayPeriod(1, {monday, 8, 0}, {monday, 17, 0}));
    const auto weekdaysBack = roundTrip(weekdays);
    ASSERT_EQ(weekdaysBack->getNumPeriods(), 2);
    const auto* first = dynamic_cast<CWeekdayPeriod*>(weekdaysBack->getPeriod(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->getStart().getDay(), sunday);
    EXPECT_EQ(first->getStart().getHour(), 7);
    EXPECT_EQ(first->getStart().getMinute(), 30);
    EXPECT_EQ(first->getEnd().getHour(), 9);
    EXPECT_EQ(first->getEnd().getMinute(), 15);
    EXPECT_EQ(weekdaysBack->getDescription(), weekdays.getDescription());

    CSchedule monthdays;
    monthdays.setType(schedule::monthdays);
    monthdays.addPeriod(monthdayPeriod(0, {31, 10, 0}, {31, 12, 0}));
    const auto monthdaysBack = roundTrip(monthdays);
    ASSERT_EQ(monthdaysBack->getNumPeriods(), 1);
    const auto* monthday = dynamic_cast<CMonthdayPeriod*>(monthdaysBack->getPeriod(0));
    ASSERT_NE(monthday, nullptr);
    EXPECT_EQ(monthday->getStart().minuteOfMonth(), CMonthdayTime(31, 10, 0).minuteOfMonth());
    EXPECT_EQ(monthday->getEnd().minuteOfMonth(), CMonthdayTime(31, 12, 0).minuteOfMonth());

    CSchedule specific;
    specific.setType(schedule::specific);
    specific.addPeriod(specificPeriod(1272697200, 1272729600));
    const auto specificBack = roundTrip(specific);
    ASSERT_EQ(specificBack->getNumPeriods(), 1);
    const auto* once = dynamic_cast<CSpecificPeriod*>(specificBack->getPeriod(0));
    ASSERT_NE(once, nullptr);
    EXPECT_EQ(once->getStart(), 1272697200);
    EXPECT_EQ(once->getEnd(), 1272729600);
}

TEST_F(SchedulePersistenceTest, LoadFailsOnAnyMissingKey) {
    const std::string complete =
        "scheduletyp=1\nnumperiods=2\nweekdaystart0=820481400\nweekdayend0=820487700\n"
        "weekdaystart1=820567800\nweekdayend1=820600200\n";
    struct Case {
        const char* what;
        const char* missingKey;
    };
    for (const Case& c : {Case{"type", "scheduletyp"}, Case{"count", "numperiods"},
                          Case{"first start", "weekdaystart0"}, Case{"last end", "weekdayend1"}}) {
        SCOPED_TRACE(c.what);
        writeSection(complete);
        platform::profile::deleteKey(listFile(), "campaign1", c.missingKey);
        CSchedule target;
        EXPECT_FALSE(loads(target));
    }
    writeSection(complete);
    CSchedule target;
    EXPECT_TRUE(loads(target));
    EXPECT_EQ(target.getNumPeriods(), 2);
}

// "numperiods" keeps what the file says unless periods are loaded by position: a type without
// periods, or the one specific period, never rewrites it on the next save.
TEST_F(SchedulePersistenceTest, DamagedValuesLoadWithoutHarm) {
    struct Case {
        const char* what;
        const char* lines;
        int periods;
        const char* storedCount;
    };
    const Case cases[] = {
        {"time not a number", "scheduletyp=1\nnumperiods=1\nweekdaystart0=abc\nweekdayend0=x\n", 1,
         "1"},
        {"times beyond any calendar",
         "scheduletyp=2\nnumperiods=1\nmonthdaystart0=99999999999999999999\n"
         "monthdayend0=-99999999999999999999\n",
         1, "1"},
        {"count not a number", "scheduletyp=1\nnumperiods=many\n", 0, "many"},
        {"negative count", "scheduletyp=2\nnumperiods=-4\n", 0, "-4"},
        {"huge count of specific periods",
         "scheduletyp=3\nnumperiods=2000000000\nspecificstart=1\nspecificend=2\n", 1, "2000000000"},
        {"three specific periods", "scheduletyp=3\nnumperiods=3\nspecificstart=1\nspecificend=2\n",
         1, "3"},
        {"unknown type", "scheduletyp=7\nnumperiods=3\n", 0, "3"},
        {"periods of the always type", "scheduletyp=0\nnumperiods=2\n", 0, "2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeSection(c.lines);
        CSchedule target;
        EXPECT_TRUE(loads(target));
        EXPECT_EQ(target.getNumPeriods(), c.periods);
        EXPECT_EQ(target.getValue4Key("numperiods"), c.storedCount);
        target.isActive(localSeconds(2024, 7, 1, 12, 0));
        target.getDescription();
        target.save(1);
        EXPECT_EQ(platform::profile::read(listFile(), "campaign1", "numperiods", ""),
                  c.storedCount);
    }
}

TEST_F(SchedulePersistenceTest, EraseRemovesTheScheduleAndPeriodKeysOnly) {
    writeSection("campaname=keep\nscheduletyp=1\nnumperiods=1\nweekdaystart0=1\nweekdayend0=2\n");
    CSchedule target;
    ASSERT_TRUE(loads(target));
    target.erase(1);
    EXPECT_EQ(platform::profile::keys(listFile(), "campaign1"),
              std::vector<std::string>{"campaname"});
}

}  // namespace
