// The Nyvex program: the Qt front end around the station's start-up.

#include <QApplication>
#include <QMessageBox>

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

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    CQtStationUi ui;
    int exitCode = 0;
    InitInstance(ui, StartupOptions{}, exitCode);
    return exitCode;
}
