#pragma once
// The operator's main window. For now it shows the station folder, the version and the status
// line, refreshed by the station's 2200 ms tick, and carries the menu of tool commands; closing
// it ends the station.

#include <QDialog>

#include "app/station/stationtick.h"

class QLabel;
class QMenuBar;

class CNyvexDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CNyvexDlg(QWidget* parent = nullptr);
    // Closing the window saves the device memory.
    void done(int result) override;

  private:
    QMenuBar* makeMenu();
    void refresh();

    CStationTick ticker;
    QLabel* status = nullptr;
};
