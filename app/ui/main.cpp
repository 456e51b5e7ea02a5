// The Nyvex program: the Qt front end around the station's start-up. `--headless` runs the
// station without a window (boxes without a screen, tests).

#include <QApplication>
#include <cstring>

#include "app/station/headless.h"
#include "app/station/startup.h"
#include "app/ui/stationui.h"
#include "support/ui/userdialogs.h"

namespace {

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
    CQtStationUi ui(hasScreen());
    InitInstance(ui, StartupOptions{}, exitCode);
    return exitCode;
}
