#include "stationui.h"

#include <QApplication>
#include <QMetaObject>

#include "app/station/nyvexapp.h"
#include "app/ui/appinitdlg.h"
#include "app/ui/nyvexdlg.h"
#include "platform/beep.h"
#include "support/errlog.h"

namespace {

constexpr const char* problemTitle = "Nyvex";

// Opens a warning box on the application's thread, without waiting for it.
void queueWarning(const std::string& text, bool withBeep) {
    QMetaObject::invokeMethod(
        qApp,
        [message = QString::fromStdString(text), withBeep] {
            if (withBeep) {
                platform::beep(800, 200);
            }
            CMessageBox::show(QApplication::activeWindow(), message,
                              QString::fromLatin1(problemTitle), QMessageBox::Warning);
        },
        Qt::QueuedConnection);
}

}  // namespace

CQtStationUi::CQtStationUi(bool withWindows) : windows(withWindows) {
    // The error log has already beeped and written the text to stderr: the box is what is left.
    if (windows) {
        support::setAlertHandler([](const std::string& text) { queueWarning(text, false); });
    }
}

CQtStationUi::~CQtStationUi() {
    if (windows) {
        support::setAlertHandler(nullptr);
    }
}

void CQtStationUi::showMessage(const std::string& text, const std::string& title) {
    if (!windows) {
        showOnConsole(text, title);
        return;
    }
    CMessageBox::show(QApplication::activeWindow(), QString::fromStdString(text),
                      QString::fromStdString(title));
}

void CQtStationUi::reportProblem(const std::string& text) {
    if (!windows) {
        showOnConsole(text, problemTitle);
        return;
    }
    queueWarning(text, true);
}

std::optional<int> CQtStationUi::runConfigurationDialog() {
    if (!windows) {
        return std::nullopt;
    }
    CAppInitDlg dialog(theApp().radioNameService(), [] { return theApp().radioName(); });
    return dialog.exec();
}

int CQtStationUi::runMainWindow() {
    // Without a screen nobody could close the window: the station ends at once.
    if (!windows) {
        return QDialog::Rejected;
    }
    CNyvexDlg window;
    return window.exec();
}
