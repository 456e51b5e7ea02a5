#include "monthdaydlg.h"

#include "campaigns/monthdayperiod.h"
#include "campaigns/ui/timecorrection.h"
#include "ui_monthdaydlg.h"

namespace schedule {

CMonthdayDlg::CMonthdayDlg(QWidget* parent)
    : CResoFilter(templateId, parent), ui(std::make_unique<Ui::MonthdayDlg>()) {
    ui->setupUi(this);
    rows = {{{ui->row1Check, ui->row1DayBox, ui->row1FromEdit, ui->row1ToEdit},
             {ui->row2Check, ui->row2DayBox, ui->row2FromEdit, ui->row2ToEdit},
             {ui->row3Check, ui->row3DayBox, ui->row3FromEdit, ui->row3ToEdit},
             {ui->row4Check, ui->row4DayBox, ui->row4FromEdit, ui->row4ToEdit},
             {ui->row5Check, ui->row5DayBox, ui->row5FromEdit, ui->row5ToEdit},
             {ui->row6Check, ui->row6DayBox, ui->row6FromEdit, ui->row6ToEdit},
             {ui->row7Check, ui->row7DayBox, ui->row7FromEdit, ui->row7ToEdit}}};
    setTexts();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        for (QWidget* field : {static_cast<QWidget*>(row.day), static_cast<QWidget*>(row.from),
                               static_cast<QWidget*>(row.to)}) {
            QSizePolicy policy = field->sizePolicy();
            policy.setRetainSizeWhenHidden(true);
            field->setSizePolicy(policy);
        }
        row.day->setValue(initialDays[i]);
        resetTimes(row.from, row.to);
        keepOrdered(row.from, row.to);
        connect(row.check, &QCheckBox::toggled, this, [this, &row] { showRow(row); });
        showRow(row);
    }
    connect(ui->okButton, &QPushButton::clicked, this, &CMonthdayDlg::confirm);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CMonthdayDlg::~CMonthdayDlg() = default;

void CMonthdayDlg::setTexts() {
    setWindowTitle(text("broadcast_every_month"));
    setItemText(1062, "activate");
    setItemText(1063, "activate");
    setItemText(1005, "activate");
    setItemText(1006, "activate");
    setItemText(1064, "activate");
    setItemText(1008, "activate");
    setItemText(1009, "activate");
    setItemText(1109, "day_in_month");
    setItemText(1107, "from");
    setItemText(1108, "to__");
    setItemText(1, "ok__");
    setItemText(2, "cancel");
}

void CMonthdayDlg::setSchedule(CSchedule* target) {
    schedule = target;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const QSignalBlocker quiet(rows[i].check);
        rows[i].check->setChecked(false);
        rows[i].day->setValue(initialDays[i]);
        resetTimes(rows[i].from, rows[i].to);
    }
    // Row n shows the period at position n - 1; further periods are not shown.
    const int shown = std::min(schedule->getNumPeriods(), rowCount);
    for (int i = 0; i < shown; ++i) {
        const auto* period = dynamic_cast<const CMonthdayPeriod*>(schedule->getPeriod(i));
        if (period == nullptr) {
            continue;
        }
        const Row& row = rows[static_cast<std::size_t>(i)];
        const CMonthdayTime start = period->getStart();
        const CMonthdayTime end = period->getEnd();
        const QSignalBlocker quietCheck(row.check);
        const QSignalBlocker quietFrom(row.from);
        const QSignalBlocker quietTo(row.to);
        row.check->setChecked(true);
        row.day->setValue(start.getDay());
        row.from->setTime(QTime(start.getHour(), start.getMinute()));
        row.to->setTime(QTime(end.getHour(), end.getMinute()));
    }
    for (const Row& row : rows) {
        showRow(row);
    }
}

void CMonthdayDlg::showRow(const Row& row) {
    const bool on = row.check->isChecked();
    row.day->setVisible(on);
    row.from->setVisible(on);
    row.to->setVisible(on);
}

void CMonthdayDlg::confirm() {
    if (schedule == nullptr) {
        reject();
        return;
    }
    schedule->clearPeriods();
    for (const Row& row : rows) {
        if (!row.check->isChecked()) {
            continue;
        }
        const int day = row.day->value();
        auto period = std::make_unique<CMonthdayPeriod>(schedule->getNumPeriods());
        period->setStart({day, row.from->time().hour(), row.from->time().minute()});
        period->setEnd({day, row.to->time().hour(), row.to->time().minute()});
        schedule->addPeriod(std::move(period));
    }
    accept();
}

}  // namespace schedule
