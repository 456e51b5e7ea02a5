// The demo station as run.sh runs it, on a virtual X server of its own: a station folder
// prepared by scripts/prepare-station.sh with the world and campaign of data/demo, phonesim
// playing the phones and the Nyvex program with its window. Once phones were served, the
// window as the X server shows it is saved as <build>/screenshots/mainwindow.png, for people to
// look at, and must not be blank.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <map>

#include "tests/common/tempfolder.h"

using testing_support::TempFolder;

namespace {

const QString binDir = QStringLiteral(NYVEX_BIN_DIR);
const QString sourceDir = QStringLiteral(NYVEX_SOURCE_DIR);

// The part of the screen that differs from the empty screen's colour in its corner: the one
// window there is (no window manager draws frames around it).
QImage windowOnScreen(const QImage& screen) {
    const QRgb empty = screen.pixel(0, 0);
    QRect window;
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            if (screen.pixel(x, y) != empty) {
                window |= QRect(x, y, 1, 1);
            }
        }
    }
    return screen.copy(window);
}

// How many different colours the picture has, and the share of its most frequent one.
struct ColourSpread {
    std::size_t colours = 0;
    double commonest = 1.0;
};

ColourSpread colourSpread(const QImage& picture) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            ++counts[picture.pixel(x, y)];
        }
    }
    int most = 0;
    for (const auto& [colour, count] : counts) {
        most = std::max(most, count);
    }
    const double pixels = std::max(1, picture.width() * picture.height());
    return {counts.size(), most / pixels};
}

// Files that phonesim stored for the phones that accepted.
int servedFiles(const QString& inbox) {
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(inbox.toStdString())) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    return files;
}

struct Process : QProcess {
    ~Process() override {
        terminate();
        if (!waitForFinished(10000)) {
            kill();
            waitForFinished();
        }
    }
};

}  // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void theDemoStationsMainWindowIsNotBlank() {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
                 "runs on an X server (xvfb-run)");
        TempFolder folder;
        const QString station = QString::fromStdString(folder.file("station"));
        const QString inbox = station + QStringLiteral("/inbox");
        QCOMPARE(QProcess::execute(QStringLiteral("bash"),
                                   {sourceDir + QStringLiteral("/scripts/prepare-station.sh"),
                                    station, binDir + QStringLiteral("/..")}),
                 0);
        for (const char* name : {"world.ini", "tolvik.ini"}) {
            QVERIFY(QFile::copy(sourceDir + QStringLiteral("/data/demo/") + QLatin1String(name),
                                station + '/' + QLatin1String(name)));
        }
        QVERIFY(QDir().mkpath(inbox));

        Process phones;
        phones.start(binDir + QStringLiteral("/phonesim"),
                     {station + QStringLiteral("/world.ini"), inbox});
        Process nyvex;
        nyvex.setWorkingDirectory(station);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("NYVEX_SIMULATION"),
                           station + QStringLiteral("/world.ini"));
        nyvex.setProcessEnvironment(environment);
        nyvex.start(binDir + QStringLiteral("/Nyvex"), {});
        QVERIFY(phones.waitForStarted() && nyvex.waitForStarted());

        QTRY_VERIFY_WITH_TIMEOUT(servedFiles(inbox) >= 2, 90000);
        QTest::qWait(3000);  // one more refresh of the window after the pushes
        QCOMPARE(nyvex.state(), QProcess::Running);

        const QImage screen =
            QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
                QImage::Format_RGB32);
        const QImage window = windowOnScreen(screen);
        const QString shots = QStringLiteral(NYVEX_BUILD_DIR "/screenshots");
        QVERIFY(QDir().mkpath(shots));
        const QString file = shots + QStringLiteral("/mainwindow.png");
        QVERIFY(window.save(file));
        qInfo("saved %s (%dx%d)", qPrintable(file), window.width(), window.height());

        QVERIFY2(window.width() >= 400 && window.height() >= 250, "no window on the screen");
        const ColourSpread spread = colourSpread(window);
        QVERIFY2(spread.colours > 64 && spread.commonest < 0.9,
                 qPrintable(QStringLiteral("%1 colours, the commonest on %2% of the window")
                                .arg(spread.colours)
                                .arg(spread.commonest * 100)));
    }
};

QTEST_MAIN(ScreenshotTest)
#include "tst_screenshot.moc"
