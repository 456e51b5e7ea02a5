#pragma once
// The statistics window: the journal of a date range as a stacked chart of pushes per hour or
// per day by outcome, the success rate per campaign and per manufacturer, and the range's rows
// exported as CSV. It reads the journal read-only, so the station goes on writing meanwhile,
// and says in words what is wrong when the journal is missing, damaged or newer.

#include <memory>
#include <string>

#include "journal/journalstore.h"
#include "support/ui/resofilter.h"

class QChart;
class QChartView;
class QTableWidget;

namespace Ui {
class StatisticsDlg;
}

namespace journal::ui {

class CStatisticsDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int dialogTemplate = 150;

    // Shows the journal in `stationFolder`, today's pushes first. `recordingProblem` is what
    // keeps the station from recording pushes now (empty when nothing does), shown while the
    // journal itself reads well.
    explicit CStatisticsDlg(std::string stationFolder, std::string recordingProblem = {},
                            QWidget* parent = nullptr);
    ~CStatisticsDlg() override;

    // Reads the journal again and shows the chosen range.
    void refresh();
    // The range the date fields choose: from the first day's start to the last day's end.
    TimeRange shownRange() const;

  private:
    void setTexts();
    bool openJournal();
    bool showFigures();
    void showChart();
    void replaceChart(QChart* chart);
    void showRates(QTableWidget* table, Grouping grouping);
    void exportCsv();
    void showProblem(const QString& text);

    std::unique_ptr<Ui::StatisticsDlg> ui;
    std::string journalPath;
    CJournalStore store;
    std::string recordingProblem;
    QChartView* chartView = nullptr;
};

}  // namespace journal::ui
