#include "weekdaydlg.h"

#include "campaigns/ui/timecorrection.h"
#include "campaigns/weekdayperiod.h"
#include "ui_weekdaydlg.h"

namespace schedule {

CWeekdayDlg::CWeekdayDlg(QWidget* parent)
    : CResoFilter(templateId, parent), ui(std::make_unique<Ui::WeekdayDlg>()) {
    ui->setupUi(this);
    // Top to bottom, Monday to Sunday; day codes run from 1 = Sunday to 7 = Saturday.
    rows = {{{ui->mondayCheck, ui->mondayFromEdit, ui->mondayToEdit, 2},
             {ui->tuesdayCheck, ui->tuesdayFromEdit, ui->tuesdayToEdit, 3},
             {ui->wednesdayCheck, ui->wednesdayFromEdit, ui->wednesdayToEdit, 4},
             {ui->thursdayCheck, ui->thursdayFromEdit, ui->thursdayToEdit, 5},
             {ui->fridayCheck, ui->fridayFromEdit, ui->fridayToEdit, 6},
             {ui->saturdayCheck, ui->saturdayFromEdit, ui->saturdayToEdit, 7},
             {ui->sundayCheck, ui->sundayFromEdit, ui->sundayToEdit, 1}}};
    setTexts();
    for (const Row& row : rows) {
        for (QWidget* picker : {static_cast<QWidget*>(row.from), static_cast<QWidget*>(row.to)}) {
            QSizePolicy policy = picker->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            picker->setSizePolicy(policy);
        }
        resetTimes(row.from, row.to);
        keepOrdered(row.from, row.to);
        connect(row.check, &QCheckBox::toggled, this, [this, &row] { showRow(row); });
        showRow(row);
    }
    connect(ui->okButton, &QPushButton::clicked, this, &CWeekdayDlg::confirm);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CWeekdayDlg::~CWeekdayDlg() = default;

void CWeekdayDlg::setTexts() {
    setWindowTitle(text("weekly_broadcast_time"));
    setItemText(1045, "monday");
    setItemText(1046, "tuesday");
    setItemText(1005, "wednesday");
    setItemText(1006, "thursday");
    setItemText(1047, "friday");
    setItemText(1008, "saturday");
    setItemText(1009, "sunday");
    setItemText(1007, "from");
    setItemText(1106, "to__");
    setItemText(1, "ok__");
    setItemText(2, "cancel");
}

void CWeekdayDlg::setSchedule(CSchedule* target) {
    schedule = target;
    for (const Row& row : rows) {
        const QSignalBlocker quiet(row.check);
        row.check->setChecked(false);
        resetTimes(row.from, row.to);
    }
    for (int i = 0; i < schedule->getNumPeriods(); ++i) {
        const auto* period = dynamic_cast<const CWeekdayPeriod*>(schedule->getPeriod(i));
        if (period == nullptr) {
            continue;
        }
        const CWeekdayTime start = period->getStart();
        const CWeekdayTime end = period->getEnd();
        for (const Row& row : rows) {
            if (row.dayCode != start.getDay()) {
                continue;
            }
            // A later period on the same day overwrites an earlier one in the display.
            const QSignalBlocker quietCheck(row.check);
            const QSignalBlocker quietFrom(row.from);
            const QSignalBlocker quietTo(row.to);
            row.check->setChecked(true);
            row.from->setTime(QTime(start.getHour(), start.getMinute()));
            row.to->setTime(QTime(end.getHour(), end.getMinute()));
        }
    }
    for (const Row& row : rows) {
        showRow(row);
    }
}

void CWeekdayDlg::showRow(const Row& row) {
    row.from->setVisible(row.check->isChecked());
    row.to->setVisible(row.check->isChecked());
}

void CWeekdayDlg::confirm() {
    if (schedule == nullptr) {
        reject();
        return;
    }
    schedule->clearPeriods();
    for (const Row& row : rows) {
        if (!row.check->isChecked()) {
            continue;
        }
        auto period = std::make_unique<CWeekdayPeriod>(schedule->getNumPeriods());
        period->setStart({row.dayCode, row.from->time().hour(), row.from->time().minute()});
        period->setEnd({row.dayCode, row.to->time().hour(), row.to->time().minute()});
        schedule->addPeriod(std::move(period));
    }
    accept();
}

}  // namespace schedule
