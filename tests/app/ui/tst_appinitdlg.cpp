// The configuration dialog: the days field between 1 and 31 while typing, the station name's
// rule with its message and light-cyan field, `duration` written at OK, and the radio renamed
// (with its beep) only when the name really changes.

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "app/ui/appinitdlg.h"
#include "platform/profile.h"
#include "tests/common/dialogtest.h"
#include "tests/common/logreader.h"
#include "tests/common/simstation.h"

using testing_support::Beep;
using testing_support::DialogSeam;
using testing_support::findWidget;
using testing_support::SimulatedStation;

namespace {

struct Dialog {
    SimulatedStation& station;
    CAppInitDlg dialog{theApp().radioNameService(), [] { return theApp().radioName(); }};
    QSpinBox* days = findWidget<QSpinBox>(&dialog, "daysEdit");
    QLineEdit* sender = findWidget<QLineEdit>(&dialog, "senderEdit");

    explicit Dialog(SimulatedStation& s) : station(s) { dialog.show(); }

    void typeDays(const QString& text) const {
        days->selectAll();
        QTest::keyClicks(days, text);
    }
    // The name field has no rule of its own while typing, and names need not be Latin-1.
    void typeName(const QString& text) const { sender->setText(text); }
    void pressOk() {
        QTest::mouseClick(findWidget<QPushButton>(&dialog, "okButton"), Qt::LeftButton);
    }
    std::string setting(const char* key) const {
        return platform::profile::read(station.folder.file("appTolvik.ini"), "Tolvik", key, "-");
    }
    std::string radioName() const {
        return platform::profile::read(station.world, "radio", "name", "-");
    }
};

const std::vector<Beep> renameBeep{{1234, 56}};

}  // namespace

class AppInitDlgTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init() { station = std::make_unique<SimulatedStation>(); }
    void cleanup() { station.reset(); }

    void opensWithTheStoredDaysAndTheRadiosName() {
        Dialog d(*station);
        QCOMPARE(d.days->value(), 5);
        QCOMPARE(d.sender->text(), QStringLiteral("TestRadio"));
        QCOMPARE(d.days->toolTip(), QString::fromStdString(support::text("explanation_duration")));
        QCOMPARE(d.dialog.windowTitle(), QString::fromStdString(support::text("configuration")));
    }

    void withoutDurationTheFieldShows5AndTheMissingKeyIsLogged() {
        platform::profile::deleteKey(station->folder.file("appTolvik.ini"), "Tolvik", "duration");
        Dialog d(*station);
        QCOMPARE(d.days->value(), CAppInitDlg::defaultDays);
        const std::string log = testing_support::errorLogText();
        QVERIFY2(log.find("duration") != std::string::npos, log.c_str());
    }

    void theDaysFieldStaysBetween1And31WhileTyping_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("shown");
        QTest::newRow("0") << "0" << 1;
        QTest::newRow("45") << "45" << 31;
        QTest::newRow("31") << "31" << 31;
        QTest::newRow("7") << "7" << 7;
    }
    void theDaysFieldStaysBetween1And31WhileTyping() {
        QFETCH(QString, typed);
        QFETCH(int, shown);
        Dialog d(*station);
        d.typeDays(typed);
        QCOMPARE(d.days->value(), shown);
        QCOMPARE(d.days->text(), QString::number(shown));
    }

    void theArrowsStopAt1And31() {
        Dialog d(*station);
        d.days->setValue(31);
        d.days->stepUp();
        QCOMPARE(d.days->value(), 31);
        d.days->setValue(1);
        d.days->stepDown();
        QCOMPARE(d.days->value(), 1);
    }

    void aRefusedNameKeepsTheDialogOpenWithTheFieldHighlighted_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("2 characters") << "ab";
        QTest::newRow("18 characters") << "abcdefghijklmnopqr";
        QTest::newRow("blank") << "my station";
        QTest::newRow("number sign") << "station#1";
    }
    void aRefusedNameKeepsTheDialogOpenWithTheFieldHighlighted() {
        QFETCH(QString, name);
        DialogSeam seam;
        Dialog d(*station);
        d.typeDays("12");
        d.typeName(name);
        d.pressOk();
        QVERIFY(d.dialog.isVisible());
        QCOMPARE(d.dialog.result(), 0);
        QCOMPARE(seam.boxTexts(),
                 QStringList{QString::fromStdString(support::text("string3and17nospecialchars"))});
        QCOMPARE(seam.boxes().at(0).title, QString::fromStdString(support::text("error")));
        QCOMPARE(d.dialog.highlightId(), 1005);
        QVERIFY(d.sender->styleSheet().contains(QColor(CAppInitDlg::highlightColour).name()));
        QCOMPARE(d.setting("duration"), std::string("12"));
        QCOMPARE(d.radioName(), std::string("TestRadio"));
        QVERIFY(seam.beeps.empty());
    }

    void aNewNameBeepsAndRenamesTheRadio() {
        DialogSeam seam;
        Dialog d(*station);
        d.typeName(QString::fromUtf8("Kiosk\xC3\xA9"));
        d.pressOk();
        QCOMPARE(d.dialog.result(), int(QDialog::Accepted));
        QVERIFY(seam.beeps == renameBeep);
        QCOMPARE(d.radioName(), std::string("Kiosk\xC3\xA9"));
        QVERIFY(seam.boxes().isEmpty());
    }

    void theSameNameInOtherCaseNeitherBeepsNorRenames() {
        DialogSeam seam;
        Dialog d(*station);
        d.typeName("tESTrADIO");
        d.pressOk();
        QCOMPARE(d.dialog.result(), int(QDialog::Accepted));
        QVERIFY(seam.beeps.empty());
        QCOMPARE(d.radioName(), std::string("TestRadio"));
        QVERIFY(seam.boxes().isEmpty());
    }

    void aFailedRenameIsShownAndTheDialogStillCloses() {
        DialogSeam seam;
        Dialog d(*station);
        station->plugRadio(false);
        d.typeName("Kiosk");
        d.pressOk();
        QCOMPARE(d.dialog.result(), int(QDialog::Accepted));
        QVERIFY(seam.beeps == renameBeep);
        QCOMPARE(seam.boxTexts(),
                 QStringList{QString::fromStdString(support::text("change_sendername_failed"))});
        QCOMPARE(seam.boxes().at(0).title, QString::fromStdString(support::text("name_sender")));
    }

    void cancelWritesNothing() {
        Dialog d(*station);
        d.typeDays("20");
        d.typeName("Kiosk");
        QTest::mouseClick(findWidget<QPushButton>(&d.dialog, "cancelButton"), Qt::LeftButton);
        QCOMPARE(d.dialog.result(), int(QDialog::Rejected));
        QCOMPARE(d.setting("duration"), std::string("5"));
        QCOMPARE(d.radioName(), std::string("TestRadio"));
    }

  private:
    std::unique_ptr<SimulatedStation> station;
};

QTEST_MAIN(AppInitDlgTest)
#include "tst_appinitdlg.moc"
