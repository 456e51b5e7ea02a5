// The Nyvex program: the Qt front end around the station's start-up. `--headless` runs the
// station without a window (boxes without a screen, tests).

#include <QApplication>
#include <QMessageBox>
#include <cstring>

#include "app/station/headless.h"
#include "app/station/startup.h"
#include "app/ui/mainwindow.h"

namespace {

class CQtStationUi : public CStationUi {
  public:
    // Without a screen (offscreen or minimal platform) nobody could close a box: the text goes
    // to stderr instead, so the station never waits on an invisible dialog.
    void showMessage(const std::string& text, const std::string& title) override {
        if (!hasScreen()) {
            showOnConsole(text, title);
            return;
        }
        QMessageBox::information(nullptr, QString::fromStdString(title),
                                 QString::fromStdString(text));
    }

    int runMainWindow() override {
        CNyvexDlg window;
        if (!hasScreen()) {
            return QDialog::Rejected;
        }
        return window.exec();
    }

  private:
    static bool hasScreen() {
        const QString platform = QGuiApplication::platformName();
        return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    }
};

bool wantsHeadless(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    int exitCode = 0;
    if (wantsHeadless(argc, argv)) {
        CHeadlessUi::blockStopSignals();
        CHeadlessUi ui;
        InitInstance(ui, StartupOptions{}, exitCode);
        return exitCode;
    }
    QApplication application(argc, argv);
    CQtStationUi ui;
    InitInstance(ui, StartupOptions{}, exitCode);
    return exitCode;
}
