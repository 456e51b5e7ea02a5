#pragma once
// The operator's main window. For now it names the station folder and the version; the
// counters, device lists and tool commands join it as those parts land.

#include <QDialog>

class CNyvexDlg : public QDialog {
  public:
    explicit CNyvexDlg(QWidget* parent = nullptr);
};
