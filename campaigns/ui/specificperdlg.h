#pragma once
// The one-time broadcast period: a start and an end, each a calendar date and a time of day.
// OK is enabled only while the end lies after the start; OK makes the period the schedule's
// only one.

#include <memory>

#include "campaigns/schedule.h"
#include "campaigns/specificperiod.h"
#include "support/ui/resofilter.h"

namespace Ui {
class SpecificPerDlg;
}

namespace schedule {

class CSpecificPerDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int templateId = 150;

    explicit CSpecificPerDlg(QWidget* parent = nullptr);
    ~CSpecificPerDlg() override;

    // The schedule the dialog shows and, on OK, changes (not owned). It opens on the schedule's
    // period, or on today from 00:00 to 23:59 when it has none.
    void setSchedule(CSchedule* schedule);

  private:
    void setTexts();
    // Takes the pickers into the period and enables OK exactly when the end is after the start.
    void takePickers();
    void confirm();

    std::unique_ptr<Ui::SpecificPerDlg> ui;
    CSchedule* schedule = nullptr;
    // Made with the dialog; handed to the schedule on OK, else destroyed with the dialog.
    std::unique_ptr<CSpecificPeriod> period;
};

}  // namespace schedule
