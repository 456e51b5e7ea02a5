#include "stationui.h"

#include <QApplication>

#include "app/ui/appinitdlg.h"
#include "app/ui/nyvexdlg.h"
#include "support/ui/userdialogs.h"

CQtStationUi::CQtStationUi(bool windows) : showWindows(windows) {}

void CQtStationUi::showMessage(const std::string& text, const std::string& title) {
    CMessageBox::show(QApplication::activeWindow(), QString::fromStdString(text),
                      QString::fromStdString(title));
}

std::optional<int> CQtStationUi::runConfigurationDialog() {
    if (!showWindows) {
        return std::nullopt;
    }
    CAppInitDlg dialog(theApp().radioNameService(), [] { return theApp().radioName(); });
    return dialog.exec();
}

int CQtStationUi::runMainWindow() {
    if (!showWindows) {
        return QDialog::Rejected;
    }
    CNyvexDlg window;
    return window.exec();
}
