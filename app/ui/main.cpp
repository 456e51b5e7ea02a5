// The Nyvex program: the Qt front end around the station's start-up. `--headless` runs the
// station without a window (boxes without a screen, tests); so does a start where no display
// and no Qt platform is named, which Qt could not open a window on.

#include <QApplication>
#include <cstdlib>
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

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

bool hasDisplay() {
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
    int exitCode = 0;
    if (wantsHeadless(argc, argv) || !hasDisplay()) {
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
