// The main window on a station in the simulated world, driven through its real widgets: the
// counters, the device list, the campaign list, the title, the radio panel and the activity
// display, the tool commands, clearing and storing the device memory.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "app/ui/aboutdlg.h"
#include "app/ui/nyvexdlg.h"
#include "app/ui/tooldialogs.h"
#include "campaigns/specificperiod.h"
#include "sending/sendjob.h"
#include "support/errlog.h"
#include "support/ui/artwork.h"
#include "support/ui/displaytext.h"
#include "support/ui/specialpic.h"
#include "tests/common/dialogtest.h"
#include "tests/common/sightings.h"
#include "tests/common/simstation.h"

using testing_support::DialogSeam;
using testing_support::findWidget;
using testing_support::SimulatedStation;

namespace {

std::unique_ptr<blto::CBtAdWCounter> namedSighting(std::uint64_t address,
                                                   const std::u16string& name,
                                                   const std::u16string& maker) {
    auto sighting = testing_support::makeSighting(address);
    std::copy(name.begin(), name.end(), sighting->record()->device.name);
    std::copy(maker.begin(), maker.end(), sighting->record()->manufacturerName);
    return sighting;
}

QString fieldText(const QWidget* window, const char* name) {
    const auto* field = findWidget<QLineEdit>(window, name);
    return field != nullptr ? field->text() : QStringLiteral("<no field>");
}

bool sameImage(const QPixmap& a, const QPixmap& b) {
    return a.toImage().convertToFormat(QImage::Format_ARGB32) ==
           b.toImage().convertToFormat(QImage::Format_ARGB32);
}

// A campaign whose one specific period runs from `from` to `to` seconds around now.
void addScheduled(campag::CCampaignMgr& manager, const std::string& name, int prio,
                  const std::string& mediaFile, std::int64_t from, std::int64_t to) {
    auto campaign = std::make_unique<campag::CCampaign>(&manager);
    campaign->setScheduleType(schedule::specific);
    campaign->setPrio(prio);
    campaign->setValue4Key("campaname", name);
    campaign->setValue4Key("sendfilename", name);
    campaign->setValue4Key("mediafile", mediaFile);
    auto period = std::make_unique<schedule::CSpecificPeriod>();
    const std::int64_t now = schedule::currentTime();
    period->setStart(now + from);
    period->setEnd(now + to);
    campaign->getSchedule()->addPeriod(std::move(period));
    QVERIFY(manager.addCampaign(std::move(campaign)));
}

const std::int64_t day = 24 * 3600;

}  // namespace

class NyvexDlgTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void cleanup() { station.reset(); }

    void theCountersFollowTheStation() {
        station = std::make_unique<SimulatedStation>();
        CThreadCenter& center = *station->center;
        CNyvexDlg window;
        auto& counters = center.sender()->counters();
        for (int round = 1; round <= 2; ++round) {
            center.front()->sightings().addUnique(testing_support::makeSighting(0x10 + round));
            center.newDevices().addUnique(testing_support::makeSighting(0x20 + round));
            center.sender()->jobList().addUnique(
                std::make_unique<btsend::CSendJob>(*testing_support::makeSighting(0x30 + round),
                                                   *station->campaigns->getFirst(), false));
            counters.setSuccessful(3 * round);
            counters.setFailed(2 * round);
            station->office->markServed(*testing_support::makeSighting(0x40 + round));
            window.tick();
            const QString n = QString::number(round);
            QCOMPARE(fieldText(&window, "foundField"), n);
            QCOMPARE(fieldText(&window, "newField"), n);
            QCOMPARE(fieldText(&window, "jobsField"), n);
            QCOMPARE(fieldText(&window, "successfulField"), QString::number(3 * round));
            QCOMPARE(fieldText(&window, "failedField"), QString::number(2 * round));
            QCOMPARE(fieldText(&window, "rememberedField"), n);
            QCOMPARE(fieldText(&window, "donglesField"), QStringLiteral("1"));
            QCOMPARE(fieldText(&window, "sensitivityField"),
                     QString::number(center.front()->scanner()->inquiryLength()));
            QCOMPARE(findWidget<QLabel>(&window, "statusLabel")->text(),
                     QString::fromStdString(center.statusText()));
        }
    }

    void everyCounterHasItsLabel() {
        station = std::make_unique<SimulatedStation>();
        CNyvexDlg window;
        const std::pair<const char*, const char*> labelled[] = {
            {"remembered", "rememberedField"},
            {"found", "foundField"},
            {"new_of_these", "newField"},
            {"sensitivity", "sensitivityField"},
            {"jobs", "jobsField"},
            {"dongles", "donglesField"},
            {"successful", "successfulField"},
            {"failed", "failedField"},
        };
        for (const auto& [key, fieldName] : labelled) {
            const QWidget* field = findWidget<QLineEdit>(&window, fieldName);
            QVERIFY(field);
            bool found = false;
            for (const QLabel* label : window.findChildren<QLabel*>()) {
                if (label->buddy() == field) {
                    QCOMPARE(label->text(), QString::fromStdString(support::text(key)));
                    found = true;
                }
            }
            QVERIFY2(found, fieldName);
        }
    }

    void theDeviceListKeepsItsItemsFor16EmptyTicksAndClearsOnThe17th() {
        station = std::make_unique<SimulatedStation>();
        CArrSyncMgr& sightings = station->center->front()->sightings();
        sightings.addUnique(namedSighting(0x01, u"Anna", u"CIMSYS Inc"));
        sightings.addUnique(namedSighting(0x02, u"Ben", u"Apple, Inc."));
        CNyvexDlg window;
        auto* list = findWidget<QListWidget>(&window, "deviceList");
        QVERIFY(list);
        window.tick();
        QCOMPARE(list->count(), 2);
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) {
            texts << list->item(i)->text();
        }
        texts.sort();
        QCOMPARE(texts, QStringList({"Anna\nCIMSYS Inc", "Ben\nApple, Inc."}));
        sightings.deleteAll();
        for (int tick = 1; tick <= CNyvexDlg::emptyTicksKept; ++tick) {
            window.tick();
            QVERIFY2(list->count() == 2, qPrintable(QString("empty tick %1").arg(tick)));
        }
        window.tick();
        QCOMPARE(list->count(), 0);
    }

    void theDeviceListShowsAtMost20Devices() {
        station = std::make_unique<SimulatedStation>();
        for (int i = 0; i < 25; ++i) {
            station->center->front()->sightings().addUnique(
                testing_support::makeSighting(0x100 + i));
        }
        CNyvexDlg window;
        window.tick();
        QCOMPARE(findWidget<QListWidget>(&window, "deviceList")->count(), CNyvexDlg::maxDevices);
    }

    void namesFromPhonesAreShownSafely() {
        station = std::make_unique<SimulatedStation>();
        std::u16string hostile = u"\u202Eevil\nname\u200F";
        hostile += std::u16string(240, u'x');
        station->center->front()->sightings().addUnique(namedSighting(0x01, hostile, u"Maker"));
        CNyvexDlg window;
        window.tick();
        const QListWidgetItem* item = findWidget<QListWidget>(&window, "deviceList")->item(0);
        QVERIFY(item);
        const QStringList lines = item->text().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.at(0).startsWith(QStringLiteral("evil") + QChar(0xFFFD) + "name"));
        QCOMPARE(lines.at(0).size(), CNyvexDlg::shownNameLength);
        QCOMPARE(lines.at(1), QStringLiteral("Maker"));
        for (QChar c : item->text() + item->toolTip()) {
            QVERIFY(c != QChar(0x202E) && c != QChar(0x200F));
        }
    }

    void theCampaignListShowsTheActiveCampaignsByPriorityWithTheirIcons() {
        station = std::make_unique<SimulatedStation>();
        campag::CCampaignMgr& manager = *station->campaigns;
        addScheduled(manager, "Spring", 2, "welcome.gif", -day, day);
        addScheduled(manager, "Summer", 1, "missing.gif", -day, day);
        addScheduled(manager, "Autumn", 3, "welcome.gif", -2 * day, -day);
        CNyvexDlg window;
        window.tick();
        auto* list = findWidget<QTreeWidget>(&window, "campaignList");
        QVERIFY(list);
        QCOMPARE(list->headerItem()->text(1),
                 QString::fromStdString(support::text("activ_campai")));
        const QPixmap icons = artwork::bitmap(146);
        const QPixmap canSend = icons.copy(0, 0, 15, 15);
        const QPixmap cannotSend = icons.copy(15, 0, 15, 15);
        const std::pair<QString, QPixmap> expected[] = {
            {"Summer", cannotSend}, {"Spring", canSend}, {"Welcome", canSend}};
        QCOMPARE(list->topLevelItemCount(), 3);
        for (int row = 0; row < 3; ++row) {
            const QTreeWidgetItem* item = list->topLevelItem(row);
            QCOMPARE(item->text(1), expected[row].first);
            QVERIFY2(sameImage(item->icon(0).pixmap(15, 15), expected[row].second),
                     qPrintable(expected[row].first));
        }
    }

    void theTitleTellsWhetherAnythingIsSent_data() {
        QTest::addColumn<bool>("campaign");
        QTest::addColumn<bool>("radio");
        QTest::addColumn<QString>("title");
        QTest::newRow("campaign and radio") << true << true << CNyvexDlg::normalTitle();
        QTest::newRow("campaign, no radio")
            << true << false << QString::fromStdString(support::text("no_bluetooth"));
        QTest::newRow("no campaign, radio")
            << false << true << QString::fromStdString(support::text("no_campaign"));
        QTest::newRow("neither") << false << false
                                 << QString::fromStdString(support::text("no_campaign"));
    }
    void theTitleTellsWhetherAnythingIsSent() {
        QFETCH(bool, campaign);
        QFETCH(bool, radio);
        QFETCH(QString, title);
        station = std::make_unique<SimulatedStation>(radio);
        if (!campaign) {
            std::filesystem::remove(station->folder.path() / "welcome.gif");
        }
        CNyvexDlg window;
        window.tick();
        QCOMPARE(window.windowTitle(), title);
        QCOMPARE(window.isActive(), campaign && radio);
        QVERIFY(CNyvexDlg::normalTitle().endsWith(QStringLiteral("     Tolvik 1.061")));
    }

    void whileSendingTheActivityShowsTheSendNameAndTheStationName() {
        station = std::make_unique<SimulatedStation>();
        CNyvexDlg window;
        window.show();
        window.tick();
        QVERIFY(window.isActive());
        auto* sendName = findWidget<QLabel>(&window, "sendNameLabel");
        auto* sender = findWidget<QLabel>(&window, "senderLabel");
        QVERIFY(sendName && sender);
        QCOMPARE(sendName->text(), QStringLiteral("welcome.gif"));
        QCOMPARE(sender->text(),
                 QString::fromStdString(support::text("sender_colon")) + "TestRadio");
        QVERIFY(sendName->isVisible() && sender->isVisible());
        QVERIFY(sameImage(findWidget<CSpecialPic>(&window, "activityPicture")->pixmap(),
                          artwork::bitmap(152)));
        QCOMPARE(findWidget<QLabel>(&window, "radioAddressLabel")->text(),
                 QStringLiteral("00:1A:7D:DA:71:13"));
        QCOMPARE(findWidget<QLabel>(&window, "radioNameLabel")->text(),
                 QStringLiteral("TestRadio"));
        QCOMPARE(findWidget<QLabel>(&window, "radioDescriptionLabel")->text(),
                 QString::fromLatin1(CDInterface::simulatedDescription));
    }

    void unpluggingTheRadioHidesThePanelAndPluggingItBackShowsIt() {
        station = std::make_unique<SimulatedStation>();
        station->center->startAll();
        CNyvexDlg window;
        window.show();
        window.tick();
        auto* panel = findWidget<CSpecialPic>(&window, "radioPicture");
        auto* activity = findWidget<CSpecialPic>(&window, "activityPicture");
        QVERIFY(panel && activity);
        QVERIFY(panel->isVisible() && window.isActive());
        for (bool plugged : {false, true}) {
            station->plugRadio(plugged);
            // No tick: the window learns of it from the world file.
            QTRY_COMPARE_WITH_TIMEOUT(panel->isVisible(), plugged, 5000);
            QCOMPARE(window.isActive(), plugged);
            QCOMPARE(fieldText(&window, "donglesField"), QString::number(plugged ? 1 : 0));
            QVERIFY(sameImage(activity->pixmap(), artwork::bitmap(plugged ? 152 : 140)));
            QCOMPARE(findWidget<QLabel>(&window, "radioNameLabel")->isVisible(), plugged);
            QCOMPARE(findWidget<QLabel>(&window, "senderLabel")->isVisible(), plugged);
            QCOMPARE(station->center->statusText().substr(0, 1), std::string(plugged ? "S" : "_"));
        }
    }

    void everyTick78AppliesTheWorkerSwitches() {
        station = std::make_unique<SimulatedStation>();
        CThreadCenter& center = *station->center;
        center.startAll();
        QTRY_COMPARE(QString::fromStdString(center.statusText()), QStringLiteral("SBJ_O"));
        CNyvexDlg window;
        std::filesystem::remove(station->folder.path() / "welcome.gif");  // nothing to send
        for (int tick = 1; tick < CStationTick::ticksPerApply; ++tick) {
            window.tick();
        }
        QTest::qWait(50);
        QCOMPARE(QString::fromStdString(center.statusText()), QStringLiteral("SBJ_O"));
        window.tick();
        QTRY_COMPARE(QString::fromStdString(center.statusText()), QStringLiteral("S____"));
    }

    void minimisedTheDisplayRestsButTheDeviceMemoryStillGetsItsTick() {
        station = std::make_unique<SimulatedStation>();
        backo::CBackOffice& office = *station->office;
        QVERIFY(office.markServed(*testing_support::makeSighting(0x42)));
        const auto archive = station->folder.path() / "devices.arc";
        const auto savedSize = std::filesystem::file_size(archive);
        office.clearMemory();  // changed, saved by the memory's own tick
        CNyvexDlg window;
        window.setWindowState(Qt::WindowMinimized);
        station->center->front()->sightings().addUnique(testing_support::makeSighting(0x1));
        for (int tick = 1; tick <= backo::CBackOffice::callsBetweenPurges; ++tick) {
            window.tick();
        }
        QCOMPARE(std::filesystem::file_size(archive), savedSize);
        window.tick();
        QVERIFY(std::filesystem::file_size(archive) < savedSize);
        QCOMPARE(fieldText(&window, "foundField"), QStringLiteral("0"));
    }

    void clearMemoryForgetsEveryDeviceAndCancelStoresTheMemoryAndEnds() {
        station = std::make_unique<SimulatedStation>();
        backo::CBackOffice& office = *station->office;
        QVERIFY(office.markServed(*testing_support::makeSighting(0x42)));
        const auto archive = station->folder.path() / "devices.arc";
        const auto savedSize = std::filesystem::file_size(archive);
        CNyvexDlg window;
        window.show();
        QTest::mouseClick(findWidget<QPushButton>(&window, "clearMemoryButton"), Qt::LeftButton);
        QCOMPARE(office.rememberedCount(), 0);
        QCOMPARE(std::filesystem::file_size(archive), savedSize);
        QTest::mouseClick(findWidget<QPushButton>(&window, "cancelButton"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QVERIFY(std::filesystem::file_size(archive) < savedSize);
    }

    void theOkButtonIsHiddenAndDisabled() {
        station = std::make_unique<SimulatedStation>();
        CNyvexDlg window;
        window.show();
        auto* ok = findWidget<QPushButton>(&window, "okButton");
        QVERIFY(ok);
        QVERIFY(!ok->isVisible());
        QVERIFY(!ok->isEnabled());
    }

    void theMenuIsLabelledFromTheTexts() {
        station = std::make_unique<SimulatedStation>();
        CNyvexDlg window;
        auto* tools = findWidget<QMenu>(&window, "toolsMenu");
        QVERIFY(tools);
        QCOMPARE(tools->title(), QString::fromStdString(support::text("menu_title")));
        const std::pair<const char*, int> items[] = {{"rangetest", 32771},
                                                     {"nogo", 32773},
                                                     {"configuration", 32772},
                                                     {"campaigns", 32777},
                                                     {"statistics", 32778}};
        QCOMPARE(tools->actions().size(), 5);
        for (int i = 0; i < 5; ++i) {
            const QAction* action = tools->actions().at(i);
            QCOMPARE(action->text(), QString::fromStdString(support::text(items[i].first)));
            QCOMPARE(action->property(CResoFilter::controlIdProperty).toInt(), items[i].second);
        }
    }

    // The pushes in flight show with their phone and campaign, their bytes once the file's size is
    // known, and go when they end.
    void thePushesInFlightShowWhileTheyRun() {
        station = std::make_unique<SimulatedStation>();
        CNyvexDlg window;
        auto* list = findWidget<QTreeWidget>(&window, "inFlightList");
        QVERIFY(list);
        btsend::CPushesInFlight& pushes = station->center->sender()->pushesInFlight();
        const std::uint64_t id = pushes.begin("Anna\x01", "Welcome");
        QTRY_COMPARE(list->topLevelItemCount(), 1);
        const QTreeWidgetItem* row = list->topLevelItem(0);
        QCOMPARE(row->text(0), displayText(QStringLiteral("Anna\x01")));
        QCOMPARE(row->text(1), QStringLiteral("Welcome"));
        QCOMPARE(row->text(2), QString());
        pushes.progress(id, 2048, 10240);
        const QString sent = QString::fromStdString(support::text("kb_of_kb")).arg(2).arg(10);
        QTRY_COMPARE(list->topLevelItem(0)->text(2), sent);
        pushes.end(id);
        QTRY_COMPARE(list->topLevelItemCount(), 0);
    }

    void aToolCommandWithoutARadioOnlyShowsTheMissingAdapter() {
        station = std::make_unique<SimulatedStation>(false);
        DialogSeam seam;
        bool ran = false;
        CToolDialogs& dialogs = CToolDialogs::program();
        const ToolDialogFactory previous = dialogs.set(ToolCommand::campaigns, [&](QWidget*) {
            ran = true;
            return 1;
        });
        CNyvexDlg window;
        auto* campaigns = findWidget<QAction>(&window, "campaignsAction");
        QVERIFY(campaigns && campaigns->isEnabled());
        campaigns->trigger();
        dialogs.set(ToolCommand::campaigns, previous);
        QVERIFY(!ran);
        QCOMPARE(seam.boxTexts(),
                 QStringList{QString::fromStdString(support::text("dongle_missing"))});
        QCOMPARE(seam.boxes().at(0).title, QStringLiteral("Tolvik"));
        QCOMPARE(QString::fromStdString(station->center->statusText()), QStringLiteral("_____"));
    }

    void theAboutBoxOpensFromTheMenuBar() {
        station = std::make_unique<SimulatedStation>();
        CNyvexDlg window;
        window.show();
        const auto opened =
            testing_support::whenModalOpens<CAboutDlg>([](CAboutDlg* about) { about->accept(); });
        findWidget<QAction>(&window, "aboutAction")->trigger();
        QVERIFY(*opened);
    }

    void aFailedErrorLogWriteIsShownInABox() {
        station = std::make_unique<SimulatedStation>();
        DialogSeam seam;
        CNyvexDlg window;
        support::alert("The error log cannot be written");
        QTRY_COMPARE(seam.boxTexts(), QStringList{"The error log cannot be written"});
    }

    void everyControlHasAnAccessibleName() {
        station = std::make_unique<SimulatedStation>();
        CNyvexDlg window;
        for (const QWidget* widget : window.findChildren<QWidget*>()) {
            if (widget->property(CResoFilter::controlIdProperty).isNull()) {
                continue;
            }
            bool named = !widget->accessibleName().isEmpty();
            if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
                named = named || !button->text().isEmpty();
            }
            if (const auto* box = qobject_cast<const QGroupBox*>(widget)) {
                named = named || !box->title().isEmpty();
            }
            if (qobject_cast<const QLabel*>(widget) != nullptr &&
                widget->accessibleName().isEmpty()) {
                named = true;  // a label names itself (or its buddy) by its text
            }
            for (const QLabel* label : window.findChildren<QLabel*>()) {
                named = named || label->buddy() == widget;
            }
            QVERIFY2(named, qPrintable(widget->objectName()));
        }
    }

  private:
    std::unique_ptr<SimulatedStation> station;
};

QTEST_MAIN(NyvexDlgTest)
#include "tst_nyvexdlg.moc"
