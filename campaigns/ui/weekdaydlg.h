#pragma once
// The weekly broadcast time: a from/to time of day on each chosen weekday. OK replaces the
// schedule's periods by one period per ticked day, Monday first; Cancel leaves them alone.

#include <QCheckBox>
#include <QTimeEdit>
#include <array>
#include <memory>

#include "campaigns/schedule.h"
#include "support/ui/resofilter.h"

namespace Ui {
class WeekdayDlg;
}

namespace schedule {

class CWeekdayDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int templateId = 148;

    explicit CWeekdayDlg(QWidget* parent = nullptr);
    ~CWeekdayDlg() override;

    // The schedule the dialog shows and, on OK, changes (not owned).
    void setSchedule(CSchedule* schedule);

  private:
    // One weekday: its check box and pickers and the day code its periods carry.
    struct Row {
        QCheckBox* check;
        QTimeEdit* from;
        QTimeEdit* to;
        int dayCode;
    };

    void setTexts();
    void showRow(const Row& row);
    void confirm();

    std::unique_ptr<Ui::WeekdayDlg> ui;
    std::array<Row, 7> rows;
    CSchedule* schedule = nullptr;
};

}  // namespace schedule
