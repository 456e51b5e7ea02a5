#include "schedule1dlg.h"

#include "campaigns/ui/monthdaydlg.h"
#include "campaigns/ui/specificperdlg.h"
#include "campaigns/ui/weekdaydlg.h"
#include "platform/beep.h"
#include "ui_schedule1dlg.h"

namespace schedule {

CSchedule1Dlg::CSchedule1Dlg(campag::CCampaignMgr& campaigns, QWidget* parent)
    : CResoFilter(templateId, parent),
      ui(std::make_unique<Ui::Schedule1Dlg>()),
      manager(campaigns) {
    ui->setupUi(this);
    types.addButton(ui->alwaysRadio, always);
    types.addButton(ui->weekdaysRadio, weekdays);
    types.addButton(ui->monthdaysRadio, monthdays);
    types.addButton(ui->periodRadio, specific);
    setTexts();
    connect(ui->alwaysRadio, &QRadioButton::clicked, this, &CSchedule1Dlg::chooseAlways);
    for (QAbstractButton* radio : {ui->weekdaysRadio, ui->monthdaysRadio, ui->periodRadio}) {
        connect(radio, &QAbstractButton::clicked, this, &CSchedule1Dlg::applySelection);
    }
    connect(ui->weekdayDetailsButton, &QPushButton::clicked, this,
            [this] { runDetails(weekdays); });
    connect(ui->monthdayDetailsButton, &QPushButton::clicked, this,
            [this] { runDetails(monthdays); });
    connect(ui->periodDetailsButton, &QPushButton::clicked, this, [this] { runDetails(specific); });
    connect(ui->okButton, &QPushButton::clicked, this, &CSchedule1Dlg::confirm);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CSchedule1Dlg::~CSchedule1Dlg() = default;

void CSchedule1Dlg::setTexts() {
    setWindowTitle(text("broadcast_time") + QStringLiteral(" 1"));
    setItemText(1007, "choose_broadcast_time");
    setItemText(1038, "always");
    setItemText(1039, "certain_days_intheweek");
    setItemText(1040, "certain_days_month");
    setItemText(1041, "once_in_a_certain_period");
    setItemText(1043, "details");
    setItemText(1044, "details");
    setItemText(1003, "details");
    setItemText(1049, "ok__");
    setItemText(2, "cancel");
}

void CSchedule1Dlg::setCampaign(campag::CCampaign* target) {
    campaign = target;
    const int type = campaign->getSchedule()->getType();
    wasAlways = type == always;
    if (QAbstractButton* radio = types.button(type)) {
        radio->setChecked(true);
    }
    applySelection();
}

void CSchedule1Dlg::chooseAlways() {
    if (manager.hasAlwaysCampaign() && !wasAlways) {
        refuseSecondAlways();
    }
    applySelection();
}

void CSchedule1Dlg::refuseSecondAlways() {
    platform::beep(secondAlwaysBeepHz, secondAlwaysBeepMs);
    setWindowTitle(text("only1campaign_runs4ever"));
    ui->weekdaysRadio->setChecked(true);
}

void CSchedule1Dlg::applySelection() {
    if (campaign == nullptr) {
        return;
    }
    CSchedule& schedule = *campaign->getSchedule();
    const int type = types.checkedId();
    if (type >= always && schedule.getType() != type) {
        try {
            campaign->setScheduleType(type);
        } catch (const campag::CCampaignException&) {
            // Another campaign is the always campaign after all: the type stays as it was.
            refuseSecondAlways();
            applySelection();
            return;
        }
    }
    ui->weekdayDetailsButton->setVisible(type == weekdays);
    ui->monthdayDetailsButton->setVisible(type == monthdays);
    ui->periodDetailsButton->setVisible(type == specific);
    ui->okButton->setEnabled(type == always || schedule.getNumPeriods() > 0);
}

void CSchedule1Dlg::runDetails(int type) {
    CSchedule* schedule = campaign->getSchedule();
    int result = Rejected;
    switch (type) {
        case weekdays: {
            CWeekdayDlg details(this);
            details.setSchedule(schedule);
            result = details.exec();
            break;
        }
        case monthdays: {
            CMonthdayDlg details(this);
            details.setSchedule(schedule);
            result = details.exec();
            break;
        }
        case specific: {
            CSpecificPerDlg details(this);
            details.setSchedule(schedule);
            result = details.exec();
            break;
        }
        default:
            return;
    }
    done(result);
}

void CSchedule1Dlg::confirm() {
    manager.saveAll();
    accept();
}

}  // namespace schedule
