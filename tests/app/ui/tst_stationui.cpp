// Start-up with windows, in this process: the configuration dialog shown for as long as the
// configuration is incomplete, and the main window brought up again after it ended with OK.

#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/station/startup.h"
#include "app/ui/appinitdlg.h"
#include "app/ui/nyvexdlg.h"
#include "app/ui/stationui.h"
#include "platform/profile.h"
#include "tests/common/dialogtest.h"
#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"

using testing_support::findWidget;
using testing_support::TempFolder;
using testing_support::whenModalOpens;

namespace {

// A station folder that is the current directory, with texts, a world with a radio and an
// always campaign; `settings` are the lines after the version.
struct StartupFolder {
    TempFolder folder;
    TempFolder runtime;
    std::filesystem::path previous = std::filesystem::current_path();

    explicit StartupFolder(const std::string& settings) {
        folder.write("appTolvik.ini",
                     "[Tolvik]\nversion=1.061\npath=" + folder.folder() + "/\n" + settings);
        std::filesystem::copy_file(std::string(NYVEX_SOURCE_DIR) + "/data/station/resource.xml",
                                   folder.path() / "resource.xml");
        folder.write("world.ini",
                     "[radio]\naddress=00:1A:7D:DA:71:13\nname=TestRadio\ntimescale=0\n");
        folder.write("welcome.gif", "GIF89a");
        folder.write("tolvik.ini",
                     "[campaign1]\ncampaname=Welcome\nsendfilename=welcome\nmediafile=welcome.gif\n"
                     "prio=1000\nscheduletyp=0\nnumperiods=0\n");
        setenv("NYVEX_SIMULATION", folder.file("world.ini").c_str(), 1);
        std::filesystem::current_path(folder.path());
    }
    ~StartupFolder() {
        std::filesystem::current_path(previous);
        unsetenv("NYVEX_SIMULATION");
    }

    int start() const {
        CQtStationUi ui(true);
        int exitCode = -1;
        InitInstance(ui, StartupOptions{runtime.folder()}, exitCode);
        return exitCode;
    }
    std::string setting(const char* key) const {
        return platform::profile::read(folder.file("appTolvik.ini"), "Tolvik", key, "-");
    }
};

const std::string completeSettings = "archfile=devices.arc\nduration=3\nmanufac=m.dat\n";

// Before start-up binds the radio library nobody reports the radio's name, so the field is
// empty and the operator has to give one.
void confirmWithName(CAppInitDlg* dialog, const char* name) {
    findWidget<QLineEdit>(dialog, "senderEdit")->setText(QLatin1String(name));
    dialog->accept();
}

}  // namespace

class StationUiTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    // A window a test waited for in vain must not be answered in the next test.
    void cleanup() {
        qDeleteAll(qApp->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly));
    }

    void endingTheMainWindowWithOkBringsANewOne() {
        StartupFolder station(completeSettings);
        int windows = 0;
        std::function<void(CNyvexDlg*)> next = [&](CNyvexDlg* window) {
            ++windows;
            if (windows == 1) {
                whenModalOpens<CNyvexDlg>(next);
                window->accept();
            } else {
                window->reject();
            }
        };
        whenModalOpens<CNyvexDlg>(next);
        QCOMPARE(station.start(), 0);
        QCOMPARE(windows, 2);
    }

    void theConfigurationDialogShowsUntilTheConfigurationIsComplete() {
        StartupFolder station("manufac=m.dat\n");  // neither duration nor archfile
        int dialogs = 0;
        std::function<void(CAppInitDlg*)> next = [&](CAppInitDlg* dialog) {
            ++dialogs;
            if (dialogs == 1) {
                // Only duration is written: without archfile the configuration stays incomplete.
                whenModalOpens<CAppInitDlg>(next);
                confirmWithName(dialog, "TestRadio");
            } else {
                dialog->reject();
            }
        };
        whenModalOpens<CAppInitDlg>(next);
        const auto mainWindow = whenModalOpens<CNyvexDlg>([](CNyvexDlg* w) { w->reject(); });
        QCOMPARE(station.start(), 0);
        QCOMPARE(dialogs, 2);
        QCOMPARE(station.setting("duration"), std::string("5"));
        QVERIFY(!*mainWindow);
        const std::string log = testing_support::errorLogText();
        QVERIFY2(log.find("configuration incomplete") == std::string::npos, log.c_str());
    }

    void aConfigurationMadeCompleteGoesOnToTheMainWindow() {
        StartupFolder station("archfile=devices.arc\nmanufac=m.dat\n");  // no duration
        const auto dialog =
            whenModalOpens<CAppInitDlg>([](CAppInitDlg* d) { confirmWithName(d, "Kiosk"); });
        const auto mainWindow = whenModalOpens<CNyvexDlg>([](CNyvexDlg* w) { w->reject(); });
        QCOMPARE(station.start(), 0);
        QVERIFY(*dialog);
        QVERIFY(*mainWindow);
        QCOMPARE(station.setting("duration"), std::string("5"));
        QCOMPARE(platform::profile::read(station.folder.file("world.ini"), "radio", "name", "-"),
                 std::string("Kiosk"));
    }
};

QTEST_MAIN(StationUiTest)
#include "tst_stationui.moc"
