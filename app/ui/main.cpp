// The Nyvex program: the Qt front end around the station's start-up. `--headless` runs the
// station without a window (boxes without a screen, tests); so does a start where no display
// and no Qt platform is named, which Qt could not open a window on. `--report` prints what the
// outcome journal holds and ends.

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/station/headless.h"
#include "app/station/startup.h"
#include "app/ui/stationui.h"
#include "journal/report.h"
#include "platform/files.h"
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

// `--report`: the journal's summary or CSV, without starting a station (one may run meanwhile).
int runReport(const std::vector<std::string>& arguments) {
    const std::optional<std::string> folder = platform::currentDirectory();
    if (!folder) {
        std::cerr << "Nyvex: the current folder cannot be read." << std::endl;
        return 1;
    }
    return journal::runReport(arguments, *folder, std::cout, std::cerr);
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (journal::isReportCommand(arguments)) {
        return runReport(arguments);
    }
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
