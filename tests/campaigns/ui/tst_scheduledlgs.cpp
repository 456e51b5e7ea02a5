// The broadcast-time dialogs driven through their real widgets: the type dialog's immediate type
// change and its refusal of a second always campaign, the weekday and month-day rows with their
// corrections and beeps, and the one-time period with its OK that waits for an ordered period.

#include <QCheckBox>
#include <QDateEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>

#include "campaigns/monthdayperiod.h"
#include "campaigns/specificperiod.h"
#include "campaigns/ui/dayofmonthbox.h"
#include "campaigns/ui/monthdaydlg.h"
#include "campaigns/ui/schedule1dlg.h"
#include "campaigns/ui/specificperdlg.h"
#include "campaigns/ui/weekdaydlg.h"
#include "campaigns/weekdayperiod.h"
#include "tests/campaigns/ui/campaignstation.h"

using testing_support::findWidget;

namespace {

constexpr int sunday = 1;
constexpr int monday = 2;
constexpr int tuesday = 3;
constexpr int wednesday = 4;

struct DayTimes {
    int day, fromHour, fromMinute, toHour, toMinute;
    bool operator==(const DayTimes&) const = default;
};

std::vector<DayTimes> weekdayPeriods(const schedule::CSchedule& schedule) {
    std::vector<DayTimes> periods;
    for (int i = 0; i < schedule.getNumPeriods(); ++i) {
        const auto* period = dynamic_cast<const schedule::CWeekdayPeriod*>(schedule.getPeriod(i));
        if (period == nullptr) {
            return {};
        }
        const auto start = period->getStart();
        const auto end = period->getEnd();
        periods.push_back(
            {start.getDay(), start.getHour(), start.getMinute(), end.getHour(), end.getMinute()});
    }
    return periods;
}

std::vector<DayTimes> monthdayPeriods(const schedule::CSchedule& schedule) {
    std::vector<DayTimes> periods;
    for (int i = 0; i < schedule.getNumPeriods(); ++i) {
        const auto* period = dynamic_cast<const schedule::CMonthdayPeriod*>(schedule.getPeriod(i));
        if (period == nullptr) {
            return {};
        }
        const auto start = period->getStart();
        const auto end = period->getEnd();
        periods.push_back(
            {start.getDay(), start.getHour(), start.getMinute(), end.getHour(), end.getMinute()});
    }
    return periods;
}

void addWeekday(schedule::CSchedule& schedule, DayTimes times) {
    auto period = std::make_unique<schedule::CWeekdayPeriod>(schedule.getNumPeriods());
    period->setStart({times.day, times.fromHour, times.fromMinute});
    period->setEnd({times.day, times.toHour, times.toMinute});
    schedule.addPeriod(std::move(period));
}

void addMonthday(schedule::CSchedule& schedule, DayTimes times) {
    auto period = std::make_unique<schedule::CMonthdayPeriod>(schedule.getNumPeriods());
    period->setStart({times.day, times.fromHour, times.fromMinute});
    period->setEnd({times.day, times.toHour, times.toMinute});
    schedule.addPeriod(std::move(period));
}

}  // namespace

class ScheduleDialogsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init() { station = std::make_unique<testing_campaigns::CampaignStation>(); }
    void cleanup() { station.reset(); }

    // Monday 08:00-12:00 and Wednesday 14:00-18:00: those two rows open ticked, the others
    // without pickers, and OK without changes writes the same two periods.
    void weekdayScheduleMakesTheRoundTripThroughTheDialog() {
        schedule::CSchedule schedule;
        schedule.setType(schedule::weekdays);
        addWeekday(schedule, {monday, 8, 0, 12, 0});
        addWeekday(schedule, {wednesday, 14, 0, 18, 0});
        schedule::CWeekdayDlg dialog;
        dialog.setSchedule(&schedule);
        dialog.show();
        for (const char* day :
             {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday", "sunday"}) {
            auto* check = findWidget<QCheckBox>(&dialog, QString(day) + "Check");
            auto* from = findWidget<QTimeEdit>(&dialog, QString(day) + "FromEdit");
            QVERIFY(check && from);
            const bool ticked = QString(day) == "monday" || QString(day) == "wednesday";
            QCOMPARE(check->isChecked(), ticked);
            QCOMPARE(from->isVisible(), ticked);
        }
        QCOMPARE(findWidget<QTimeEdit>(&dialog, "wednesdayToEdit")->time(), QTime(18, 0));
        QCOMPARE(findWidget<QCheckBox>(&dialog, "mondayCheck")->text(), QString("Monday"));

        QTest::mouseClick(findWidget<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY((weekdayPeriods(schedule) ==
                 std::vector<DayTimes>{{monday, 8, 0, 12, 0}, {wednesday, 14, 0, 18, 0}}));
        QVERIFY(dynamic_cast<schedule::CWeekdayPeriod*>(schedule.getPeriod(1)) != nullptr);
    }

    // Ticking Tuesday and Sunday and setting their times writes them Monday-first (Sunday last);
    // Cancel leaves the schedule alone; unticking every day leaves no period.
    void weekdayOkWritesTheTickedRowsAndCancelNothing() {
        schedule::CSchedule schedule;
        schedule.setType(schedule::weekdays);
        addWeekday(schedule, {monday, 8, 0, 12, 0});
        {
            schedule::CWeekdayDlg dialog;
            dialog.setSchedule(&schedule);
            dialog.show();
            testing_campaigns::clickButton(findWidget<QCheckBox>(&dialog, "sundayCheck"));
            findWidget<QTimeEdit>(&dialog, "sundayFromEdit")->setTime(QTime(7, 30));
            QTest::mouseClick(findWidget<QPushButton>(&dialog, "cancelButton"), Qt::LeftButton);
        }
        QVERIFY((weekdayPeriods(schedule) == std::vector<DayTimes>{{monday, 8, 0, 12, 0}}));

        schedule::CWeekdayDlg dialog;
        dialog.setSchedule(&schedule);
        dialog.show();
        testing_campaigns::clickButton(findWidget<QCheckBox>(&dialog, "sundayCheck"));
        QVERIFY(findWidget<QTimeEdit>(&dialog, "sundayFromEdit")->isVisible());
        findWidget<QTimeEdit>(&dialog, "sundayFromEdit")->setTime(QTime(7, 30));
        findWidget<QTimeEdit>(&dialog, "sundayToEdit")->setTime(QTime(9, 15));
        testing_campaigns::clickButton(findWidget<QCheckBox>(&dialog, "tuesdayCheck"));
        QTest::mouseClick(findWidget<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
        QVERIFY((weekdayPeriods(schedule) == std::vector<DayTimes>{{monday, 8, 0, 12, 0},
                                                                   {tuesday, 0, 0, 23, 59},
                                                                   {sunday, 7, 30, 9, 15}}));

        schedule::CWeekdayDlg untick;
        untick.setSchedule(&schedule);
        untick.show();
        for (const char* day : {"mondayCheck", "tuesdayCheck", "sundayCheck"}) {
            testing_campaigns::clickButton(findWidget<QCheckBox>(&untick, day));
        }
        QTest::mouseClick(findWidget<QPushButton>(&untick, "okButton"), Qt::LeftButton);
        QCOMPARE(schedule.getNumPeriods(), 0);
    }

    // A from-time later than the to-time jumps back to it with a beep, and a to-time earlier
    // than the from-time likewise; equal times are allowed.
    void aFromTimeAfterTheToTimeJumpsBackWithABeep() {
        schedule::CSchedule schedule;
        schedule::CWeekdayDlg dialog;
        dialog.setSchedule(&schedule);
        dialog.show();
        testing_campaigns::clickButton(findWidget<QCheckBox>(&dialog, "tuesdayCheck"));
        auto* from = findWidget<QTimeEdit>(&dialog, "tuesdayFromEdit");
        auto* to = findWidget<QTimeEdit>(&dialog, "tuesdayToEdit");
        to->setTime(QTime(18, 0));
        QVERIFY(station->seam.beeps.empty());
        from->setTime(QTime(19, 0));
        QCOMPARE(from->time(), QTime(18, 0));
        QCOMPARE(station->seam.beeps, (std::vector<testing_support::Beep>{{2345, 23}}));
        from->setTime(QTime(9, 0));
        to->setTime(QTime(8, 30));
        QCOMPARE(to->time(), QTime(9, 0));
        QCOMPARE(station->seam.beeps.size(), std::size_t(2));
        to->setTime(QTime(9, 0));
        QCOMPARE(station->seam.beeps.size(), std::size_t(2));  // equal times are allowed
    }

    // Seven month days open each in its own row; OK without changes writes them again.
    void monthDaysOpenInTheirRowsAndGoBackUnchanged() {
        schedule::CSchedule schedule;
        schedule.setType(schedule::monthdays);
        std::vector<DayTimes> days;
        for (int day : {3, 5, 7, 9, 11, 13, 15}) {
            days.push_back({day, 10, day, 12, 30});
            addMonthday(schedule, days.back());
        }
        schedule::CMonthdayDlg dialog;
        dialog.setSchedule(&schedule);
        dialog.show();
        for (int row = 1; row <= 7; ++row) {
            const QString name = QString("row%1").arg(row);
            QVERIFY(findWidget<QCheckBox>(&dialog, name + "Check")->isChecked());
            QCOMPARE(findWidget<schedule::CDayOfMonthBox>(&dialog, name + "DayBox")->value(),
                     days[static_cast<std::size_t>(row - 1)].day);
        }
        QCOMPARE(findWidget<QTimeEdit>(&dialog, "row7FromEdit")->time(), QTime(10, 15));
        QTest::mouseClick(findWidget<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
        QVERIFY(monthdayPeriods(schedule) == days);
    }

    // A new month-day schedule offers days 1, 11, 17, 22, 24, 18, 31 in unticked rows; typing
    // 45 turns into 31 and an emptied day into 1, as typed.
    void dayFieldsAreCorrectedAsTyped() {
        schedule::CSchedule schedule;
        schedule.setType(schedule::monthdays);
        schedule::CMonthdayDlg dialog;
        dialog.setSchedule(&schedule);
        dialog.show();
        QVERIFY(!findWidget<schedule::CDayOfMonthBox>(&dialog, "row1DayBox")->isVisible());
        testing_campaigns::clickButton(findWidget<QCheckBox>(&dialog, "row2Check"));
        auto* day = findWidget<schedule::CDayOfMonthBox>(&dialog, "row2DayBox");
        QVERIFY(day->isVisible());
        QCOMPARE(day->value(), 11);
        day->setFocus();
        day->selectAll();
        QTest::keyClicks(day, "45");
        QCOMPARE(day->text(), QString("31"));
        QCOMPARE(day->value(), 31);
        day->selectAll();
        QTest::keyClick(day, Qt::Key_Backspace);
        QCOMPARE(day->text(), QString("1"));
        QTest::keyClicks(day, "x");
        QCOMPARE(day->text(), QString("1"));  // only digits
        QTest::keyClick(day, Qt::Key_Up);
        QCOMPARE(day->value(), 2);  // the arrows step the day
        QTest::mouseClick(findWidget<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
        QVERIFY((monthdayPeriods(schedule) == std::vector<DayTimes>{{2, 0, 0, 23, 59}}));
    }

    // A new period opens on today 00:00 to 23:59 with OK enabled; an end not after the start
    // disables OK; OK makes the period the schedule's only one.
    void theOneTimePeriodOpensOnTodayAndNeedsAnEndAfterItsStart() {
        station->setToday(2024, 3, 15, 10, 30);
        schedule::CSchedule schedule;
        schedule.setType(schedule::specific);
        schedule::CSpecificPerDlg dialog;
        dialog.setSchedule(&schedule);
        dialog.show();
        auto* startDate = findWidget<QDateEdit>(&dialog, "startDateEdit");
        auto* startTime = findWidget<QTimeEdit>(&dialog, "startTimeEdit");
        auto* endDate = findWidget<QDateEdit>(&dialog, "endDateEdit");
        auto* endTime = findWidget<QTimeEdit>(&dialog, "endTimeEdit");
        auto* ok = findWidget<QPushButton>(&dialog, "okButton");
        QCOMPARE(startDate->date(), QDate(2024, 3, 15));
        QCOMPARE(endDate->date(), QDate(2024, 3, 15));
        QCOMPARE(startTime->time(), QTime(0, 0));
        QCOMPARE(endTime->time(), QTime(23, 59));
        QVERIFY(ok->isEnabled());

        endDate->setDate(QDate(2024, 3, 14));
        QVERIFY(!ok->isEnabled());
        endDate->setDate(QDate(2024, 3, 15));
        endTime->setTime(QTime(0, 0));
        QVERIFY2(!ok->isEnabled(), "an end equal to the start");
        endTime->setTime(QTime(0, 1));
        QVERIFY(ok->isEnabled());
        startDate->setDate(QDate(2024, 3, 1));
        startTime->setTime(QTime(9, 0));
        endDate->setDate(QDate(2024, 4, 2));
        endTime->setTime(QTime(18, 30));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(schedule.getNumPeriods(), 1);
        const auto* period = dynamic_cast<schedule::CSpecificPeriod*>(schedule.getPeriod(0));
        QVERIFY(period != nullptr);
        QCOMPARE(period->getStart(), testing_campaigns::localSeconds(2024, 3, 1, 9, 0));
        QCOMPARE(period->getEnd(), testing_campaigns::localSeconds(2024, 4, 2, 18, 30));

        schedule::CSpecificPerDlg again;
        again.setSchedule(&schedule);
        QCOMPARE(findWidget<QDateEdit>(&again, "startDateEdit")->date(), QDate(2024, 3, 1));
        QCOMPARE(findWidget<QTimeEdit>(&again, "endTimeEdit")->time(), QTime(18, 30));
    }

    // A click on another type changes the campaign at once: the weekday periods are gone even
    // when the dialog is cancelled, and only the chosen type's details button shows.
    void switchingTheTypeDropsThePeriodsAtOnce() {
        campag::CCampaign& always = station->addCampaign("Welcome");
        campag::CCampaign& weekly = station->addCampaign("Weekly");
        addWeekday(*weekly.getSchedule(), {monday, 8, 0, 12, 0});
        const int prio = weekly.getPrio();
        schedule::CSchedule1Dlg dialog(station->manager);
        dialog.setCampaign(&weekly);
        dialog.show();
        QVERIFY(findWidget<QRadioButton>(&dialog, "weekdaysRadio")->isChecked());
        QVERIFY(findWidget<QPushButton>(&dialog, "weekdayDetailsButton")->isVisible());
        QVERIFY(!findWidget<QPushButton>(&dialog, "monthdayDetailsButton")->isVisible());
        QVERIFY(findWidget<QPushButton>(&dialog, "okButton")->isEnabled());

        testing_campaigns::clickButton(findWidget<QRadioButton>(&dialog, "monthdaysRadio"));
        QCOMPARE(weekly.getSchedule()->getType(), schedule::monthdays);
        QCOMPARE(weekly.getSchedule()->getNumPeriods(), 0);
        QCOMPARE(weekly.getPrio(), prio);
        QVERIFY(findWidget<QPushButton>(&dialog, "monthdayDetailsButton")->isVisible());
        QVERIFY(!findWidget<QPushButton>(&dialog, "weekdayDetailsButton")->isVisible());
        QVERIFY2(!findWidget<QPushButton>(&dialog, "okButton")->isEnabled(),
                 "a scheduled type without a period");
        QTest::mouseClick(findWidget<QPushButton>(&dialog, "cancelButton"), Qt::LeftButton);
        QCOMPARE(weekly.getSchedule()->getType(), schedule::monthdays);
        QCOMPARE(always.getSchedule()->getType(), schedule::always);
    }

    // With another always campaign, "always" beeps, says why in the caption and leaves
    // "certain days in the week" chosen; the always campaign itself may choose it again.
    void aSecondAlwaysCampaignIsRefused() {
        campag::CCampaign& always = station->addCampaign("Welcome");
        campag::CCampaign& weekly = station->addCampaign("Weekly");
        addWeekday(*weekly.getSchedule(), {monday, 8, 0, 12, 0});
        schedule::CSchedule1Dlg dialog(station->manager);
        dialog.setCampaign(&weekly);
        dialog.show();
        testing_campaigns::clickButton(findWidget<QRadioButton>(&dialog, "alwaysRadio"));
        QCOMPARE(station->seam.beeps, (std::vector<testing_support::Beep>{{700, 30}}));
        QCOMPARE(dialog.windowTitle(), station->text("only1campaign_runs4ever"));
        QVERIFY(findWidget<QRadioButton>(&dialog, "weekdaysRadio")->isChecked());
        QCOMPARE(weekly.getSchedule()->getType(), schedule::weekdays);
        QCOMPARE(weekly.getSchedule()->getNumPeriods(), 1);

        schedule::CSchedule1Dlg own(station->manager);
        own.setCampaign(&always);
        own.show();
        testing_campaigns::clickButton(findWidget<QRadioButton>(&own, "weekdaysRadio"));
        testing_campaigns::clickButton(findWidget<QRadioButton>(&own, "alwaysRadio"));
        QCOMPARE(always.getSchedule()->getType(), schedule::always);
        QCOMPARE(always.getPrio(), campag::ALWAYS_PRIO);
        QCOMPARE(station->seam.beeps.size(), std::size_t(1));
    }

    // "Details..." runs the period dialog and ends the type dialog with its result, unsaved;
    // the type dialog's own OK saves every campaign.
    void detailsEndTheTypeDialogAndOkSaves() {
        station->addCampaign("Welcome");
        campag::CCampaign& once = station->addCampaign("Once");
        schedule::CSchedule1Dlg dialog(station->manager);
        dialog.setCampaign(&once);
        dialog.show();
        testing_campaigns::clickButton(findWidget<QRadioButton>(&dialog, "periodRadio"));
        const auto ran = testing_support::whenModalOpens<schedule::CSpecificPerDlg>(
            [](schedule::CSpecificPerDlg* period) {
                QTest::mouseClick(findWidget<QPushButton>(period, "okButton"), Qt::LeftButton);
            });
        QTest::mouseClick(findWidget<QPushButton>(&dialog, "periodDetailsButton"), Qt::LeftButton);
        QVERIFY(*ran);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(once.getSchedule()->getNumPeriods(), 1);
        QVERIFY2(!station->listFileHas("Once"), "details do not save");

        schedule::CSchedule1Dlg saving(station->manager);
        saving.setCampaign(&once);
        saving.show();
        QTest::mouseClick(findWidget<QPushButton>(&saving, "okButton"), Qt::LeftButton);
        QVERIFY(station->listFileHas("Once"));
    }

  private:
    std::unique_ptr<testing_campaigns::CampaignStation> station;
};

QTEST_MAIN(ScheduleDialogsTest)
#include "tst_scheduledlgs.moc"
