#include "specificperdlg.h"

#include <QDateTime>
#include <QSignalBlocker>
#include <chrono>

#include "platform/clock.h"
#include "ui_specificperdlg.h"

namespace schedule {

namespace {

QDateTime localDateTime(std::int64_t seconds) {
    const platform::LocalTime local =
        platform::toLocal(platform::fromTimeT(static_cast<std::time_t>(seconds)));
    return {QDate(local.year, local.month, local.day), QTime(local.hour, local.minute)};
}

// The date of `date` at the hour and minute of `time`, seconds 0, in local time.
std::int64_t secondsOf(const QDate& date, const QTime& time) {
    platform::LocalTime local;
    local.year = date.year();
    local.month = date.month();
    local.day = date.day();
    local.hour = time.hour();
    local.minute = time.minute();
    return static_cast<std::int64_t>(platform::toTimeT(platform::fromLocal(local)));
}

}  // namespace

CSpecificPerDlg::CSpecificPerDlg(QWidget* parent)
    : CResoFilter(templateId, parent),
      ui(std::make_unique<Ui::SpecificPerDlg>()),
      period(std::make_unique<CSpecificPeriod>()) {
    ui->setupUi(this);
    setTexts();
    for (QDateTimeEdit* picker : {static_cast<QDateTimeEdit*>(ui->startDateEdit),
                                  static_cast<QDateTimeEdit*>(ui->startTimeEdit),
                                  static_cast<QDateTimeEdit*>(ui->endDateEdit),
                                  static_cast<QDateTimeEdit*>(ui->endTimeEdit)}) {
        connect(picker, &QDateTimeEdit::dateTimeChanged, this, &CSpecificPerDlg::takePickers);
    }
    connect(ui->okButton, &QPushButton::clicked, this, &CSpecificPerDlg::confirm);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CSpecificPerDlg::~CSpecificPerDlg() = default;

void CSpecificPerDlg::setTexts() {
    setWindowTitle(text("periode_once"));
    setItemText(1007, "from");
    setItemText(1016, "to__");
    setItemText(1, "ok__");
    setItemText(2, "cancel");
}

void CSpecificPerDlg::setSchedule(CSchedule* target) {
    schedule = target;
    const auto* current = dynamic_cast<const CSpecificPeriod*>(schedule->getPeriod(0));
    QDateTime start;
    QDateTime end;
    if (current != nullptr) {
        start = localDateTime(current->getStart());
        end = localDateTime(current->getEnd());
    } else {
        const platform::LocalTime now = platform::toLocal(platform::now());
        const QDate today(now.year, now.month, now.day);
        start = {today, QTime(0, 0)};
        end = {today, QTime(23, 59)};
    }
    {
        const QSignalBlocker quietStartDate(ui->startDateEdit);
        const QSignalBlocker quietStartTime(ui->startTimeEdit);
        const QSignalBlocker quietEndDate(ui->endDateEdit);
        const QSignalBlocker quietEndTime(ui->endTimeEdit);
        ui->startDateEdit->setDate(start.date());
        ui->startTimeEdit->setTime(start.time());
        ui->endDateEdit->setDate(end.date());
        ui->endTimeEdit->setTime(end.time());
    }
    takePickers();
}

void CSpecificPerDlg::takePickers() {
    period->setStart(secondsOf(ui->startDateEdit->date(), ui->startTimeEdit->time()));
    period->setEnd(secondsOf(ui->endDateEdit->date(), ui->endTimeEdit->time()));
    ui->okButton->setEnabled(period->isOrdered());
}

void CSpecificPerDlg::confirm() {
    if (schedule == nullptr) {
        return;
    }
    takePickers();
    if (!period->isOrdered()) {
        return;
    }
    schedule->clearPeriods();
    schedule->addPeriod(std::move(period));
    period = std::make_unique<CSpecificPeriod>();
    accept();
}

}  // namespace schedule
