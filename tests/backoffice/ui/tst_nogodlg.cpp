// The blocking-list dialog in the simulated world: a device chosen in range and confirmed is
// never served again, typed addresses are filtered and converted, rows are removed with the
// right-click menu, and OK leaves exactly the confirmed list in the settings, which the back
// office takes at once.

#include <sys/inotify.h>
#include <sys/resource.h>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <csignal>
#include <filesystem>
#include <map>

#include "app/ui/tooldialogs.h"
#include "backoffice/ui/nogodlg.h"
#include "platform/filedescriptor.h"
#include "platform/profile.h"
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

using Keys = std::map<std::string, std::string>;

const std::string blockedPhone = "00:11:22:AA:BB:01";
const std::string allowedPhone = "00:11:22:AA:BB:02";

// A station with the blocked-address keys `keys`, and the dialog over it.
class NoGoStation {
  public:
    explicit NoGoStation(const Keys& keys = {}) {
        for (const auto& [key, value] : keys) {
            platform::profile::write(settingsFile(), "Tolvik", key, value);
        }
    }
    std::string settingsFile() const { return station.folder.file("appTolvik.ini"); }
    // The keys of the settings that start with "nogoaddress", with their values.
    Keys blockedKeys() const {
        Keys found;
        for (const auto& key : platform::profile::keys(settingsFile(), "Tolvik")) {
            if (key.starts_with("nogoaddress")) {
                found[key] = platform::profile::read(settingsFile(), "Tolvik", key, "");
            }
        }
        return found;
    }
    bool blocks(std::uint64_t address) const {
        return station.office->isKnown(*testing_support::makeSighting(address));
    }
    CNoGoDlg& dialog() {
        if (!noGo) {
            noGo = std::make_unique<CNoGoDlg>(*station.center->front(), *station.office);
            noGo->show();
        }
        return *noGo;
    }
    QTreeWidget* blockedList() { return findWidget<QTreeWidget>(&dialog(), "blockedList"); }
    QStringList blockedRows() {
        QStringList rows;
        for (int i = 0; i < blockedList()->topLevelItemCount(); ++i) {
            rows << blockedList()->topLevelItem(i)->text(1);
        }
        return rows;
    }
    void type(const QString& text) {
        auto* edit = findWidget<QLineEdit>(&dialog(), "addressEdit");
        edit->setFocus();
        QTest::keyClicks(edit, text);
    }
    void addTyped(const QString& text) {
        type(text);
        QTest::mouseClick(findWidget<QPushButton>(&dialog(), "addAddressButton"), Qt::LeftButton);
    }
    // Right-clicks the blocked list at `at` (list coordinates) and chooses "clear".
    void clearAt(QPoint at) {
        QWidget* viewport = blockedList()->viewport();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
        QApplication::sendEvent(viewport, &event);
        auto* menu = findWidget<QMenu>(&dialog(), "clearMenu");
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions().first()->text(), QStringLiteral("Delete"));
        menu->actions().first()->trigger();
        delete menu;
    }
    void clearRow(const QString& address) {
        const auto rows = blockedList()->findItems(address, Qt::MatchExactly, 1);
        QVERIFY(!rows.isEmpty());
        clearAt(blockedList()->visualItemRect(rows.first()).center());
    }
    void pressOk() {
        QTest::mouseClick(findWidget<QPushButton>(&dialog(), "okButton"), Qt::LeftButton);
    }

    SimulatedStation station;

  private:
    std::unique_ptr<CNoGoDlg> noGo;
};

// Counts the times a file of a folder is replaced by a rename: each is one atomic change.
class ReplacementCounter {
  public:
    ReplacementCounter(const std::filesystem::path& folder, std::string name)
        : watch(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), name(std::move(name)) {
        ::inotify_add_watch(watch.get(), folder.c_str(), IN_MOVED_TO);
    }
    int count() {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t n; (n = ::read(watch.get(), buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                replacements += event->len > 0 && name == event->name ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return replacements;
    }

  private:
    platform::FileDescriptor watch;
    std::string name;
    int replacements = 0;
};

// While it lives, no file of this process can grow past a few bytes, so every write of the
// settings fails (also for root).
class TinyFileLimit {
  public:
    TinyFileLimit() {
        ::getrlimit(RLIMIT_FSIZE, &before);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = before;
        tiny.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~TinyFileLimit() {
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previousHandler);
    }
    TinyFileLimit(const TinyFileLimit&) = delete;
    TinyFileLimit& operator=(const TinyFileLimit&) = delete;

  private:
    rlimit before{};
    void (*previousHandler)(int) = nullptr;
};

}  // namespace

Q_DECLARE_METATYPE(Keys)

class NoGoDlgTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void aDeviceChosenInRangeAndConfirmedIsNeverServedAgain() {
        NoGoStation station;
        std::vector<e2e::Phone> phones{{blockedPhone, "accept"}, {allowedPhone, "accept"}};
        SimulatedStation& sim = station.station;
        e2e::replaceWorld(sim.world, e2e::worldText(phones, 0));
        const std::filesystem::path inbox = sim.folder.path() / "inbox";
        auto phonesim = e2e::startPhonesim({NYVEX_SOURCE_DIR, NYVEX_BIN_DIR}, sim.world, inbox,
                                           sim.folder.path());
        QVERIFY(e2e::phonesimListening(*phonesim, 2));
        // As the blocking-list command leaves the station: only the scanner runs.
        sim.center->pause(true);
        sim.center->apply();
        QVERIFY(waitUntil([&] { return sim.center->front()->sightingCount() == 2; }));

        CNoGoDlg& dialog = station.dialog();
        auto* proximity = findWidget<QTreeWidget>(&dialog, "proximityList");
        auto* choose = findWidget<QPushButton>(&dialog, "chooseDeviceButton");
        auto* picture = findWidget<CSpecialPic>(&dialog, "selectedPicture");
        QVERIFY(proximity && choose && picture);
        QCOMPARE(dialog.findChild<QTimer*>("refreshTimer")->interval(), 1800);
        QVERIFY(!choose->isEnabled() && !picture->isVisible());
        dialog.refreshList();
        QCOMPARE(proximity->topLevelItemCount(), 2);
        const auto row =
            proximity->findItems(QString::fromStdString(blockedPhone), Qt::MatchExactly, 1);
        QVERIFY(!row.isEmpty());
        QTest::mouseClick(proximity->viewport(), Qt::LeftButton, {},
                          proximity->visualItemRect(row.first()).center());
        QCOMPARE(findWidget<QLabel>(&dialog, "selectedAddressLabel")->text(),
                 QString::fromStdString(blockedPhone));
        QCOMPARE(findWidget<QLabel>(&dialog, "selectedNameLabel")->text(),
                 QStringLiteral("Phone 1"));
        QVERIFY(choose->isEnabled() && picture->isVisible());
        QTest::mouseClick(choose, Qt::LeftButton);
        QVERIFY(!choose->isEnabled() && !picture->isVisible());
        QVERIFY(findWidget<QLabel>(&dialog, "selectedAddressLabel")->text().isEmpty());
        station.pressOk();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(station.blockedKeys(), (Keys{{"nogoaddress1", blockedPhone}}));
        QVERIFY(station.blocks(0x001122AABB01ULL));

        // Sending resumes: the other phone gets the campaign, the blocked one nothing.
        sim.center->pause(false);
        sim.center->apply();
        const auto allowedInbox = inbox / e2e::compactAddress(allowedPhone);
        QVERIFY(waitUntil([&] { return std::filesystem::exists(allowedInbox / "welcome.gif"); },
                          std::chrono::seconds(30), e2e::pollFiles));
        QVERIFY(std::filesystem::is_empty(inbox / e2e::compactAddress(blockedPhone)));
    }

    void aDeviceAddedTwiceFromTheListGivesOneRow() {
        NoGoStation station;
        station.station.center->front()->sightings().addUnique(
            testing_support::makeSighting(0x001122AABB01ULL));
        CNoGoDlg& dialog = station.dialog();
        dialog.refreshList();
        auto* proximity = findWidget<QTreeWidget>(&dialog, "proximityList");
        for (int i = 0; i < 2; ++i) {
            QTest::mouseClick(proximity->viewport(), Qt::LeftButton, {},
                              proximity->visualItemRect(proximity->topLevelItem(0)).center());
            QTest::mouseClick(findWidget<QPushButton>(&dialog, "chooseDeviceButton"),
                              Qt::LeftButton);
        }
        QCOMPARE(station.blockedRows(), QStringList{QString::fromStdString(blockedPhone)});
    }

    void typedAddressesAreFilteredAndChecked_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("beeps");
        QTest::addColumn<bool>("addable");
        QTest::newRow("lower-case address") << "0a:1b:2c:3d:4e:5f"
                                            << "0a:1b:2c:3d:4e:5f" << 0 << true;
        QTest::newRow("upper-case letter") << "0a:1B"
                                           << "0a:1" << 1 << false;
        QTest::newRow("upper case after a whole address") << "0a:1b:2c:3d:4e:5F"
                                                          << "0a:1b:2c:3d:4e:5" << 1 << false;
        QTest::newRow("dash as separator") << "0a-1b"
                                           << "0a1b" << 1 << false;
        QTest::newRow("letter beyond f") << "0g"
                                         << "0" << 1 << false;
        QTest::newRow("blank first") << " 0a"
                                     << "0a" << 1 << false;
        QTest::newRow("too short") << "0a:1b:2c:3d:4e:5"
                                   << "0a:1b:2c:3d:4e:5" << 0 << false;
        QTest::newRow("too long") << "0a:1b:2c:3d:4e:5f0"
                                  << "0a:1b:2c:3d:4e:5f0" << 0 << false;
        QTest::newRow("no colons") << "0a1b2c3d4e5f"
                                   << "0a1b2c3d4e5f" << 0 << false;
        QTest::newRow("colons misplaced") << "0a1:b2:c3:d4:e5:f"
                                          << "0a1:b2:c3:d4:e5:f" << 0 << false;
    }
    void typedAddressesAreFilteredAndChecked() {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, beeps);
        QFETCH(bool, addable);
        DialogSeam seam;
        NoGoStation station;
        station.type(typed);
        QCOMPARE(findWidget<QLineEdit>(&station.dialog(), "addressEdit")->text(), shown);
        QCOMPARE(seam.beeps, std::vector<Beep>(beeps, Beep{660, 44}));
        QCOMPARE(findWidget<QPushButton>(&station.dialog(), "addAddressButton")->isEnabled(),
                 addable);
    }

    void aTypedAddressIsAddedInUpperCase() {
        NoGoStation station;
        station.addTyped("0a:1b:2c:3d:4e:5f");
        QCOMPARE(station.blockedRows(), QStringList{"0A:1B:2C:3D:4E:5F"});
        QVERIFY(findWidget<QLineEdit>(&station.dialog(), "addressEdit")->text().isEmpty());
        QVERIFY(!findWidget<QPushButton>(&station.dialog(), "addAddressButton")->isEnabled());
        station.pressOk();
        QCOMPARE(station.blockedKeys(), (Keys{{"nogoaddress1", "0A:1B:2C:3D:4E:5F"}}));
        QVERIFY(station.blocks(0x0A1B2C3D4E5FULL));
    }

    // A reader stops at the first missing key; OK leaves the list readers see exactly as
    // confirmed, also when a key behind the gap would come into sight.
    void aListWithAGapShowsTheAddressesBeforeIt_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Keys>("after");
        QTest::newRow("confirmed as it is")
            << QString()
            << Keys{{"nogoaddress1", "00:00:00:00:00:0A"}, {"nogoaddress3", "00:00:00:00:00:0C"}};
        QTest::newRow("grown up to the gap")
            << "00:00:00:00:00:0b"
            << Keys{{"nogoaddress1", "00:00:00:00:00:0A"}, {"nogoaddress2", "00:00:00:00:00:0B"}};
    }
    void aListWithAGapShowsTheAddressesBeforeIt() {
        QFETCH(QString, typed);
        QFETCH(Keys, after);
        NoGoStation station(
            Keys{{"nogoaddress1", "00:00:00:00:00:0A"}, {"nogoaddress3", "00:00:00:00:00:0C"}});
        QCOMPARE(station.blockedRows(), QStringList{"00:00:00:00:00:0A"});
        if (!typed.isEmpty()) {
            station.addTyped(typed);
        }
        station.pressOk();
        QCOMPARE(station.blockedKeys(), after);
        QVERIFY(!station.blocks(0x0CULL));
    }

    void theListShowsTheAddressesInReverseKeyOrder() {
        NoGoStation station(Keys{{"nogoaddress1", "00:00:00:00:00:0A"},
                                 {"nogoaddress2", "00:00:00:00:00:0B"},
                                 {"nogoaddress3", "00:00:00:00:00:0C"}});
        QCOMPARE(station.blockedRows(),
                 (QStringList{"00:00:00:00:00:0C", "00:00:00:00:00:0B", "00:00:00:00:00:0A"}));
    }

    // A typed duplicate gives a second row; OK writes each address once and takes away the key
    // the shorter list no longer uses, so a removed address is not left blocked.
    void duplicatesAreWrittenOnceAndARemovedAddressIsUnblocked() {
        NoGoStation station(Keys{{"nogoaddress1", "00:00:00:00:00:0A"},
                                 {"nogoaddress2", "00:00:00:00:00:0B"},
                                 {"nogoaddress3", "00:00:00:00:00:0C"}});
        station.clearRow("00:00:00:00:00:0C");
        station.addTyped("00:00:00:00:00:0b");
        QCOMPARE(station.blockedRows(),
                 (QStringList{"00:00:00:00:00:0B", "00:00:00:00:00:0B", "00:00:00:00:00:0A"}));
        station.pressOk();
        QCOMPARE(station.blockedKeys(), (Keys{{"nogoaddress1", "00:00:00:00:00:0A"},
                                              {"nogoaddress2", "00:00:00:00:00:0B"}}));
        QVERIFY(station.blocks(0x0BULL));
        QVERIFY(!station.blocks(0x0CULL));
    }

    void removingEveryRowUnblocksEverything() {
        NoGoStation station(Keys{{"nogoaddress1", "00:00:00:00:00:0A"},
                                 {"nogoaddress2", "00:00:00:00:00:0B"},
                                 {"numblocks", "2"}});
        QVERIFY(station.station.office->loadBlockedAddresses());
        QVERIFY(station.blocks(0x0AULL));
        station.clearRow("00:00:00:00:00:0A");
        station.clearRow("00:00:00:00:00:0B");
        QVERIFY(station.blockedRows().isEmpty());
        station.pressOk();
        QCOMPARE(station.blockedKeys(), Keys{});
        QCOMPARE(platform::profile::read(station.settingsFile(), "Tolvik", "numblocks", ""),
                 std::string("2"));
        QVERIFY(!station.blocks(0x0AULL));
        QVERIFY(!station.blocks(0x0BULL));
    }

    // The old keys go and the new ones come in one replacement of the settings file, so a
    // crash during OK leaves the old list or the new one, never a part of each.
    void okChangesTheSettingsInOneReplacement() {
        NoGoStation station(Keys{{"nogoaddress1", "00:00:00:00:00:0A"},
                                 {"nogoaddress2", "00:00:00:00:00:0B"},
                                 {"nogoaddress3", "00:00:00:00:00:0C"}});
        station.clearRow("00:00:00:00:00:0A");
        station.clearRow("00:00:00:00:00:0B");
        station.addTyped("00:00:00:00:00:0d");
        ReplacementCounter replacements(station.station.folder.path(), "appTolvik.ini");
        station.pressOk();
        QCOMPARE(replacements.count(), 1);
        QCOMPARE(station.blockedKeys(), (Keys{{"nogoaddress1", "00:00:00:00:00:0C"},
                                              {"nogoaddress2", "00:00:00:00:00:0D"}}));
    }

    // A list that cannot be saved is not reported as saved: the old list stays in force, the
    // operator is told, and the dialog stays open to try again or cancel.
    void aListThatCannotBeSavedKeepsTheDialogOpen() {
        DialogSeam seam;
        const Keys before{{"nogoaddress1", "00:00:00:00:00:0A"}};
        NoGoStation station(before);
        QVERIFY(station.station.office->loadBlockedAddresses());
        station.addTyped("00:00:00:00:00:0b");
        {
            TinyFileLimit full;
            station.pressOk();
        }
        QVERIFY(station.dialog().isVisible());
        QCOMPARE(seam.boxTexts(),
                 QStringList{QString::fromStdString(support::text("nogo_not_saved"))});
        QCOMPARE(station.blockedKeys(), before);
        QVERIFY(!station.blocks(0x0BULL));

        station.pressOk();
        QCOMPARE(station.dialog().result(), int(QDialog::Accepted));
        QVERIFY(station.blocks(0x0BULL));
    }

    void aRightClickBesideTheRowsRemovesNothing() {
        NoGoStation station(Keys{{"nogoaddress1", "00:00:00:00:00:0A"}});
        station.clearAt(QPoint(20, station.blockedList()->viewport()->height() - 5));
        QCOMPARE(station.blockedRows(), QStringList{"00:00:00:00:00:0A"});
    }

    void cancelWritesNothing() {
        const Keys before{{"nogoaddress1", "00:00:00:00:00:0A"}};
        NoGoStation station(before);
        station.clearRow("00:00:00:00:00:0A");
        station.addTyped("00:00:00:00:00:0b");
        QTest::mouseClick(findWidget<QPushButton>(&station.dialog(), "cancelButton"),
                          Qt::LeftButton);
        QCOMPARE(station.dialog().result(), int(QDialog::Rejected));
        QCOMPARE(station.blockedKeys(), before);
    }

    // What the operator sees with devices in range, one selected, and a list being edited,
    // saved beside the test programs.
    void screenshotWhileEditing() {
        NoGoStation station(
            Keys{{"nogoaddress1", "00:17:99:DE:AA:F0"}, {"nogoaddress2", "5C:F8:A1:33:44:55"}});
        CArrSyncMgr& sightings = station.station.center->front()->sightings();
        sightings.addUnique(testing_support::makeNamedSighting(0x001122AABB01ULL, u"Anna's phone",
                                                               u"Kestrel Mobile"));
        sightings.addUnique(
            testing_support::makeNamedSighting(0xAC3743102030ULL, u"Ben", u"Lumen Telecom"));
        CNoGoDlg& dialog = station.dialog();
        dialog.refreshList();
        auto* proximity = findWidget<QTreeWidget>(&dialog, "proximityList");
        QTest::mouseClick(proximity->viewport(), Qt::LeftButton, {},
                          proximity->visualItemRect(proximity->topLevelItem(0)).center());
        station.type("0a:1b:2c:3d:4e:5f");
        const QImage shot = dialog.grab().toImage();
        QVERIFY(!shot.isNull());
        const QString file = QStringLiteral(NYVEX_BIN_DIR "/../screenshots/nogodlg.png");
        std::filesystem::create_directories(
            std::filesystem::path(file.toStdString()).parent_path());
        QVERIFY(shot.save(file));
    }

    void theMenuCommandRunsTheDialogWithTheWorkersPaused() {
        NoGoStation station;
        CThreadCenter& center = *station.station.center;
        center.apply();
        QVERIFY(waitUntil([&] { return center.statusText().starts_with("SBJ_O"); }));
        bool pausedWhileOpen = false;
        auto opened = testing_support::whenModalOpens<CNoGoDlg>([&](CNoGoDlg* dialog) {
            pausedWhileOpen = waitUntil([&] { return center.statusText().starts_with("S____"); });
            dialog->reject();
        });
        QVERIFY(CToolDialogs::program().run(ToolCommand::blockingList, nullptr));
        QVERIFY(*opened);
        QVERIFY(pausedWhileOpen);
        QVERIFY(waitUntil([&] { return center.statusText().starts_with("SBJ_O"); }));
    }
};

QTEST_MAIN(NoGoDlgTest)
#include "tst_nogodlg.moc"
