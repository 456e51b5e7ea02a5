// The range-test dialog in the simulated world: the devices in range and the choice of one,
// scanning off while a device is chosen and on again when the dialog closes, Test with the job
// list full or not, a phone that left, a damaged test picture, and the picture arriving at a
// phone of phonesim with the station's counter rising.

#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "app/ui/tooldialogs.h"
#include "sending/ui/rangetestdlg.h"
#include "support/ui/specialpic.h"
#include "tests/common/dialogtest.h"
#include "tests/common/sightings.h"
#include "tests/common/simstation.h"
#include "tests/e2e/station.h"

using testing_support::Beep;
using testing_support::DialogSeam;
using testing_support::findWidget;
using testing_support::SimulatedStation;
using testing_support::waitUntil;

namespace {

const std::string firstAddress = "00:11:22:AA:BB:01";
const std::string secondAddress = "00:11:22:AA:BB:02";

// A station whose world holds phones in range, with the test picture in its folder, its
// scanner running and the other workers paused, as the range-test command leaves them.
class RangeTestStation {
  public:
    explicit RangeTestStation(std::vector<e2e::Phone> inRange) : phones(std::move(inRange)) {
        e2e::replaceWorld(station.world, e2e::worldText(phones, 0));
        std::filesystem::copy_file(std::string(NYVEX_SOURCE_DIR) + "/data/station/testpic.gif",
                                   station.folder.file("testpic.gif"));
        center().startAll();
        center().pause(true);
        center().apply();
    }

    CThreadCenter& center() const { return *station.center; }
    btsend::CBtSender& sender() const { return *center().sender(); }
    blto::CBtoh& front() const { return *center().front(); }
    bool sees(std::size_t count) const {
        return waitUntil([&] { return front().sightingCount() == static_cast<int>(count); });
    }

    SimulatedStation station;
    std::vector<e2e::Phone> phones;
};

e2e::Phone phone(const std::string& address) {
    return e2e::Phone{address, "accept"};
}

QTreeWidgetItem* rowOf(QTreeWidget* list, const std::string& address) {
    const auto rows = list->findItems(QString::fromStdString(address), Qt::MatchExactly, 1);
    return rows.isEmpty() ? nullptr : rows.first();
}

void clickRow(QTreeWidget* list, QTreeWidgetItem* row) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(row).center());
}

// Jobs that wait in the list for devices nobody serves.
void queueWaitingJobs(RangeTestStation& station, int count) {
    campag::CCampaign& campaign = *station.station.campaigns->chooseCampaign();
    for (int i = 0; i < count; ++i) {
        auto job = std::make_unique<btsend::CSendJob>(
            *testing_support::makeSighting(0xDEAD0000ULL + i), campaign, true);
        station.sender().jobList().add(job);
    }
}

}  // namespace

class RangeTestDlgTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void listsDevicesInRangeAndRefreshesEvery1800ms() {
        RangeTestStation station({phone(firstAddress), phone(secondAddress)});
        QVERIFY(station.sees(2));
        CRangeTestDlg dialog(station.center());
        auto* list = findWidget<QTreeWidget>(&dialog, "deviceList");
        auto* timer = dialog.findChild<QTimer*>("refreshTimer");
        QVERIFY(list && timer);
        QCOMPARE(timer->interval(), 1800);
        QVERIFY(timer->isActive());
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Range test"));

        dialog.refreshList();
        QCOMPARE(list->topLevelItemCount(), 2);
        QTreeWidgetItem* first = rowOf(list, firstAddress);
        QVERIFY(first != nullptr);
        QCOMPARE(first->text(2), QStringLiteral("Phone 1"));
        QVERIFY(!first->icon(0).isNull());
        QCOMPARE(list->headerItem()->text(1), QStringLiteral("Bluetooth address"));
    }

    void choosingADeviceStopsScanningAndClosingStartsItAgain_data() {
        QTest::addColumn<bool>("withCancel");
        QTest::newRow("cancel") << true;
        QTest::newRow("window closed") << false;
    }
    void choosingADeviceStopsScanningAndClosingStartsItAgain() {
        QFETCH(bool, withCancel);
        RangeTestStation station({phone(firstAddress)});
        QVERIFY(station.sees(1));
        CRangeTestDlg dialog(station.center());
        dialog.show();
        dialog.refreshList();
        auto* list = findWidget<QTreeWidget>(&dialog, "deviceList");
        auto* test = findWidget<QPushButton>(&dialog, "testButton");
        auto* picture = findWidget<CSpecialPic>(&dialog, "chosenPicture");
        QVERIFY(list && test && picture);
        QVERIFY(!test->isEnabled() && !picture->isVisible());
        QVERIFY(station.front().isScanRunning());

        clickRow(list, rowOf(list, firstAddress));
        QCOMPARE(findWidget<QLabel>(&dialog, "chosenAddressLabel")->text(),
                 QString::fromStdString(firstAddress));
        QCOMPARE(findWidget<QLabel>(&dialog, "chosenNameLabel")->text(), QStringLiteral("Phone 1"));
        QVERIFY(test->isEnabled() && picture->isVisible());
        QVERIFY(waitUntil([&] { return !station.front().isScanRunning(); }));
        dialog.refreshList();
        QVERIFY(list->currentItem() != nullptr && list->currentItem()->isSelected());
        QCOMPARE(list->currentItem()->text(1), QString::fromStdString(firstAddress));

        if (withCancel) {
            QTest::mouseClick(findWidget<QPushButton>(&dialog, "cancelButton"), Qt::LeftButton);
        } else {
            dialog.close();
        }
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(waitUntil([&] { return station.front().isScanRunning(); }));
    }

    void aClickBesideTheRowsChoosesNothing() {
        RangeTestStation station({phone(firstAddress)});
        QVERIFY(station.sees(1));
        CRangeTestDlg dialog(station.center());
        dialog.show();
        dialog.refreshList();
        auto* list = findWidget<QTreeWidget>(&dialog, "deviceList");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          QPoint(20, list->viewport()->height() - 5));
        QVERIFY(!findWidget<QPushButton>(&dialog, "testButton")->isEnabled());
        QVERIFY(station.front().isScanRunning());
    }

    // The picture travels through the range-test push; with five jobs waiting Test only beeps.
    void testPushesThePictureUnlessFiveJobsWait_data() {
        QTest::addColumn<int>("waitingJobs");
        QTest::addColumn<bool>("pushed");
        QTest::newRow("no job waiting") << 0 << true;
        QTest::newRow("four jobs waiting") << 4 << true;
        QTest::newRow("five jobs waiting") << 5 << false;
    }
    void testPushesThePictureUnlessFiveJobsWait() {
        QFETCH(int, waitingJobs);
        QFETCH(bool, pushed);
        DialogSeam seam;
        RangeTestStation station({phone(firstAddress)});
        const std::filesystem::path inbox = station.station.folder.path() / "inbox";
        auto phonesim = e2e::startPhonesim({NYVEX_SOURCE_DIR, NYVEX_BIN_DIR}, station.station.world,
                                           inbox, station.station.folder.path());
        QVERIFY(e2e::phonesimListening(*phonesim, 1));
        QVERIFY(station.sees(1));
        queueWaitingJobs(station, waitingJobs);
        const int successfulBefore = station.sender().counters().getSuccessful();

        CRangeTestDlg dialog(station.center());
        dialog.show();
        dialog.refreshList();
        auto* list = findWidget<QTreeWidget>(&dialog, "deviceList");
        clickRow(list, rowOf(list, firstAddress));
        QTest::mouseClick(findWidget<QPushButton>(&dialog, "testButton"), Qt::LeftButton);

        const std::filesystem::path phoneInbox = inbox / e2e::compactAddress(firstAddress);
        if (!pushed) {
            QCOMPARE(seam.beeps, (std::vector<Beep>{{999, 20}}));
            QCOMPARE(station.sender().jobCount(), 5);
            QVERIFY(!station.sender().isRangeTestRunning());
            QVERIFY(dialog.findChild<QTimer*>("refreshTimer")->isActive());
            return;
        }
        QVERIFY(seam.beeps.empty());
        QVERIFY(!dialog.findChild<QTimer*>("refreshTimer")->isActive());
        QVERIFY(waitUntil(
            [&] {
                return std::filesystem::exists(phoneInbox) &&
                       !std::filesystem::is_empty(phoneInbox);
            },
            std::chrono::seconds(30), e2e::pollFiles));
        const auto received = std::filesystem::directory_iterator(phoneInbox)->path();
        const QString name = QString::fromStdString(received.filename().string());
        QVERIFY2(
            QRegularExpression(QStringLiteral("^[A-Za-z0-9]{8}\\.gif$")).match(name).hasMatch(),
            qPrintable(name));
        QVERIFY(waitUntil([&] { return !e2e::readWholeFile(received).empty(); }));
        QCOMPARE(e2e::readWholeFile(received),
                 e2e::readWholeFile(station.station.folder.file("testpic.gif")));
        QVERIFY(waitUntil(
            [&] { return station.sender().counters().getSuccessful() == successfulBefore + 1; }));
        QVERIFY(seam.boxes().isEmpty());
    }

    void aPhoneThatLeftAfterTheChoiceGetsNothing() {
        DialogSeam seam;
        RangeTestStation station({phone(firstAddress), phone(secondAddress)});
        QVERIFY(station.sees(2));
        CRangeTestDlg dialog(station.center());
        dialog.show();
        dialog.refreshList();
        auto* list = findWidget<QTreeWidget>(&dialog, "deviceList");
        clickRow(list, rowOf(list, firstAddress));
        QVERIFY(waitUntil([&] { return !station.front().isScanRunning(); }));
        // The last inquiry before the scanner stopped no longer found it.
        station.front().sightings().deleteAll();
        station.front().sightings().addUnique(testing_support::makeSighting(0x001122AABB02ULL));

        QTest::mouseClick(findWidget<QPushButton>(&dialog, "testButton"), Qt::LeftButton);
        QCOMPARE(station.sender().jobCount(), 0);
        QVERIFY(!station.sender().isRangeTestRunning());
        QVERIFY(seam.boxes().isEmpty());
        QVERIFY(seam.beeps.empty());
    }

    void aMissingOrResizedTestPictureIsReported_data() {
        QTest::addColumn<int>("pictureSize");  // -1: no picture
        QTest::newRow("missing") << -1;
        QTest::newRow("one byte short") << 2882;
        QTest::newRow("one byte more") << 2884;
        QTest::newRow("empty") << 0;
    }
    void aMissingOrResizedTestPictureIsReported() {
        QFETCH(int, pictureSize);
        DialogSeam seam;
        RangeTestStation station({phone(firstAddress)});
        const std::string picture = station.station.folder.file("testpic.gif");
        std::filesystem::remove(picture);
        if (pictureSize >= 0) {
            station.station.folder.write("testpic.gif", std::string(pictureSize, 'G'));
        }
        QVERIFY(station.sees(1));
        CRangeTestDlg dialog(station.center());
        dialog.show();
        dialog.refreshList();
        auto* list = findWidget<QTreeWidget>(&dialog, "deviceList");
        clickRow(list, rowOf(list, firstAddress));
        QTest::mouseClick(findWidget<QPushButton>(&dialog, "testButton"), Qt::LeftButton);
        QCOMPARE(seam.boxTexts(),
                 QStringList{QString::fromStdString(support::text("testcampaign_damaged_check"))});
        QCOMPARE(station.sender().jobCount(), 0);
    }

    // The main window's range-test command runs the dialog with the back office, the job
    // machine and the sender paused and the scanner running, and resumes them afterwards.
    void theMenuCommandRunsTheDialogWithTheWorkersPaused() {
        RangeTestStation station({phone(firstAddress)});
        station.center().pause(false);
        station.center().apply();
        QVERIFY(waitUntil([&] { return station.center().statusText().starts_with("SBJ_O"); }));
        bool pausedWhileOpen = false;
        auto opened = testing_support::whenModalOpens<CRangeTestDlg>([&](CRangeTestDlg* dialog) {
            pausedWhileOpen =
                waitUntil([&] { return station.center().statusText().starts_with("S____"); });
            dialog->reject();
        });
        QVERIFY(CToolDialogs::program().run(ToolCommand::rangeTest, nullptr));
        QVERIFY(*opened);
        QVERIFY(pausedWhileOpen);
        QVERIFY(waitUntil([&] { return station.center().statusText().starts_with("SBJ_O"); }));
    }

    // What the operator sees once a device is chosen, saved beside the test programs.
    void screenshotWithADeviceChosen() {
        SimulatedStation station;
        CArrSyncMgr& sightings = station.center->front()->sightings();
        sightings.addUnique(testing_support::makeNamedSighting(0x001122AABB01ULL, u"Anna's phone",
                                                               u"Kestrel Mobile"));
        sightings.addUnique(testing_support::makeNamedSighting(0x5CF8A1334455ULL, u"Tablet",
                                                               u"Orbit Devices Ltd."));
        sightings.addUnique(
            testing_support::makeNamedSighting(0xAC3743102030ULL, u"Ben", u"Lumen Telecom"));
        CRangeTestDlg dialog(*station.center);
        dialog.show();
        dialog.refreshList();
        auto* list = findWidget<QTreeWidget>(&dialog, "deviceList");
        clickRow(list, list->topLevelItem(1));
        const QImage shot = dialog.grab().toImage();
        QVERIFY(!shot.isNull());
        const QString file = QStringLiteral(NYVEX_BIN_DIR "/../screenshots/rangetestdlg.png");
        std::filesystem::create_directories(
            std::filesystem::path(file.toStdString()).parent_path());
        QVERIFY(shot.save(file));
    }
};

QTEST_MAIN(RangeTestDlgTest)
#include "tst_rangetestdlg.moc"
