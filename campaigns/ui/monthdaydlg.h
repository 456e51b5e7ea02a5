#pragma once
// The monthly broadcast time: up to seven days of the month, each with a from/to time of day.
// OK replaces the schedule's periods by one period per ticked row, top to bottom; Cancel leaves
// them alone. Several rows may name the same day.

#include <QCheckBox>
#include <QTimeEdit>
#include <array>
#include <memory>

#include "campaigns/schedule.h"
#include "campaigns/ui/dayofmonthbox.h"
#include "support/ui/resofilter.h"

namespace Ui {
class MonthdayDlg;
}

namespace schedule {

class CMonthdayDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int templateId = 149;
    static constexpr int rowCount = 7;
    // The days the rows offer before a schedule fills them.
    static constexpr std::array<int, rowCount> initialDays = {1, 11, 17, 22, 24, 18, 31};

    explicit CMonthdayDlg(QWidget* parent = nullptr);
    ~CMonthdayDlg() override;

    // The schedule the dialog shows and, on OK, changes (not owned).
    void setSchedule(CSchedule* schedule);

  private:
    struct Row {
        QCheckBox* check;
        CDayOfMonthBox* day;
        QTimeEdit* from;
        QTimeEdit* to;
    };

    void setTexts();
    void showRow(const Row& row);
    void confirm();

    std::unique_ptr<Ui::MonthdayDlg> ui;
    std::array<Row, rowCount> rows;
    CSchedule* schedule = nullptr;
};

}  // namespace schedule
