#pragma once
// The range test: the operator picks one of the devices in range and the station pushes the
// test picture to it under a random name, through the range-test push component. Choosing a
// device switches scanning off, so the list holds still while the operator tests; closing the
// dialog switches it on again. The outcome shows only in the station's push counters.

#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>

#include "support/ui/resofilter.h"

namespace Ui {
class RangeTestDlg;
}
class CThreadCenter;
class QTreeWidgetItem;

class CRangeTestDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int templateNumber = 134;
    static constexpr std::chrono::milliseconds refreshPeriod{1800};
    // Test looks for the chosen device among this many sightings.
    static constexpr int searchedSightings = 21;
    // With more jobs than this waiting, Test only beeps.
    static constexpr int mostJobsBeforeTest = 4;

    explicit CRangeTestDlg(CThreadCenter& center, QWidget* parent = nullptr);
    ~CRangeTestDlg() override;

    // Closing the dialog in any way switches scanning on again.
    void done(int result) override;

    // What every tick of the refresh timer does: the list shows the current sightings again.
    void refreshList();

  private:
    void choose(QTreeWidgetItem* row);
    void test();

    std::unique_ptr<Ui::RangeTestDlg> ui;
    CThreadCenter& center;
    QTimer refreshTimer;
    QIcon deviceIcon;
    QString chosenAddress;
};
