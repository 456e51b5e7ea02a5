#include "stationui.h"

#include <QApplication>

#include "app/ui/mainwindow.h"
#include "support/ui/userdialogs.h"

void CQtStationUi::showMessage(const std::string& text, const std::string& title) {
    CMessageBox::show(QApplication::activeWindow(), QString::fromStdString(text),
                      QString::fromStdString(title));
}

int CQtStationUi::runMainWindow() {
    // Without a screen nobody could close the window: the station ends at once.
    if (!hasScreen()) {
        return QDialog::Rejected;
    }
    CNyvexDlg window;
    return window.exec();
}
