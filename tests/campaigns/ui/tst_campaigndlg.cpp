// The campaign list and the campaign edit dialog driven through their real widgets: the first
// campaign, the second that needs a broadcast time, names that are taken or invalid, Change and
// Cancel, the priority moves and their refusals, the media-file chooser, and an accessible name
// on every control of the campaign and broadcast-time dialogs.

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>
#include <fstream>
#include <functional>

#include "campaigns/ui/campaigndlg.h"
#include "campaigns/ui/initdlg.h"
#include "campaigns/ui/monthdaydlg.h"
#include "campaigns/ui/schedule1dlg.h"
#include "campaigns/ui/specificperdlg.h"
#include "campaigns/ui/weekdaydlg.h"
#include "campaigns/weekdayperiod.h"
#include "platform/profile.h"
#include "tests/campaigns/ui/campaignstation.h"

using campag::CCampaign;
using campag::CCampaignDlg;
using campag::CInitDlg;
using testing_support::findWidget;
using testing_support::whenModalOpens;

namespace {

const QString radioName = QStringLiteral("Test radio");

template <typename Widget = QPushButton>
void click(QWidget* dialog, const char* name) {
    testing_campaigns::clickButton(findWidget<Widget>(dialog, name));
}

void type(QWidget* dialog, const char* name, const QString& text) {
    auto* edit = findWidget<QLineEdit>(dialog, name);
    QVERIFY(edit != nullptr);
    edit->clear();
    // Key events carry Latin-1 characters only; others are typed as the input method would.
    for (const QChar c : text) {
        if (c.unicode() < 0x100) {
            QTest::keyClick(edit, c.toLatin1());
        } else {
            edit->insert(QString(c));
        }
    }
}

void clickRow(CCampaignDlg& dialog, int row) {
    auto* list = findWidget<QTreeWidget>(&dialog, "campaignList");
    QTreeWidgetItem* item = list->topLevelItem(row);
    QVERIFY(item != nullptr);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

QStringList column(CCampaignDlg& dialog, int index) {
    auto* list = findWidget<QTreeWidget>(&dialog, "campaignList");
    QStringList texts;
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        texts << list->topLevelItem(row)->text(index);
    }
    return texts;
}

CCampaign* findByName(campag::CCampaignMgr& manager, const std::string& name) {
    for (CCampaign* c = manager.getFirst(); c; c = manager.getNext()) {
        if (c->getValue4Key("campaname") == name) {
            return c;
        }
    }
    return nullptr;
}

int prioOf(campag::CCampaignMgr& manager, const std::string& name) {
    const CCampaign* campaign = findByName(manager, name);
    return campaign != nullptr ? campaign->getPrio() : -1;
}

// Gives the campaign being edited a Monday period through the broadcast-time dialogs.
void giveMondayPeriod(CInitDlg* edit) {
    const auto typeRan =
        whenModalOpens<schedule::CSchedule1Dlg>([](schedule::CSchedule1Dlg* types) {
            QVERIFY(findWidget<QRadioButton>(types, "weekdaysRadio")->isChecked());
            const auto daysRan =
                whenModalOpens<schedule::CWeekdayDlg>([](schedule::CWeekdayDlg* days) {
                    click<QCheckBox>(days, "mondayCheck");
                    click(days, "okButton");
                });
            click(types, "weekdayDetailsButton");
            QVERIFY(*daysRan);
        });
    click(edit, "broadcastTimeButton");
    QVERIFY(*typeRan);
}

// Fills the edit dialog: name, receiving name and a media file chosen through the chooser.
void fillIn(testing_campaigns::CampaignStation& station, CInitDlg* edit, const QString& name,
            const QString& receivingName, const std::string& mediaFile) {
    type(edit, "campaignNameEdit", name);
    type(edit, "receivingNameEdit", receivingName);
    station.seam.chooseNextFile(QString::fromStdString(station.mediaFile(mediaFile)));
    click(edit, "chooseMediaButton");
}

}  // namespace

class CampaignDialogsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init() { station = std::make_unique<testing_campaigns::CampaignStation>(); }
    void cleanup() { station.reset(); }

    void anEmptyStationsFirstCampaignIsTheAlwaysCampaignInSectionOne() {
        CCampaignDlg dialog(station->manager, radioName);
        dialog.show();
        QCOMPARE(dialog.windowTitle(), station->text("see_all_camps_sorted_by_prio"));
        QVERIFY(!findWidget<QPushButton>(&dialog, "changeButton")->isVisible());
        const auto ran = whenModalOpens<CInitDlg>([this](CInitDlg* edit) {
            QVERIFY(findWidget<QPushButton>(edit, "okButton")->isEnabled());
            QCOMPARE(findWidget<QLabel>(edit, "senderLabel")->text(),
                     station->text("sender_colon") + radioName);
            fillIn(*station, edit, "Welcome", "welcome", "spring.gif");
            QCOMPARE(findWidget<QLabel>(edit, "extensionLabel")->text(), QString(".gif"));
            QCOMPARE(findWidget<QLabel>(edit, "mimeTypeLabel")->text(), QString("image/gif"));
            QCOMPARE(findWidget<QPlainTextEdit>(edit, "broadcastDescription")->toPlainText(),
                     station->text("always"));
            click(edit, "okButton");
        });
        click(&dialog, "newButton");
        QVERIFY(*ran);

        QCOMPARE(station->manager.getCount(), 1);
        CCampaign* welcome = station->manager.getFirst();
        QCOMPARE(welcome->getSchedule()->getType(), schedule::always);
        QCOMPARE(welcome->getPrio(), campag::ALWAYS_PRIO);
        const std::string list = station->folder.file("tolvik.ini");
        QCOMPARE(platform::profile::sections(list), std::vector<std::string>{"campaign1"});
        QCOMPARE(platform::profile::read(list, "campaign1", "prio", ""), std::string("1000"));
        QCOMPARE(platform::profile::read(list, "campaign1", "campaname", ""),
                 std::string("Welcome"));
        QCOMPARE(column(dialog, 1), QStringList{"Welcome"});
        QCOMPARE(column(dialog, 2), QStringList{"welcome.gif"});
        QCOMPARE(column(dialog, 3),
                 QStringList{QString::fromStdString(station->folder.file("spring.gif"))});
    }

    // A later campaign starts as a weekday campaign without a period: its OK waits for one.
    void theSecondCampaignCannotBeConfirmedBeforeItHasAPeriod() {
        station->addCampaign("Welcome");
        CCampaignDlg dialog(station->manager, radioName);
        dialog.show();
        const auto ran = whenModalOpens<CInitDlg>([this](CInitDlg* edit) {
            fillIn(*station, edit, "Spring", "spring", "spring.gif");
            QVERIFY(!findWidget<QPushButton>(edit, "okButton")->isEnabled());
            giveMondayPeriod(edit);
            QVERIFY(findWidget<QPushButton>(edit, "okButton")->isEnabled());
            QVERIFY(findWidget<QPlainTextEdit>(edit, "broadcastDescription")
                        ->toPlainText()
                        .startsWith(station->text("monday") + " 00:00 - 23:59"));
            click(edit, "okButton");
        });
        click(&dialog, "newButton");
        QVERIFY(*ran);
        QCOMPARE(station->manager.getCount(), 2);
        QCOMPARE(prioOf(station->manager, "Spring"), 1);
        QCOMPARE(column(dialog, 1), (QStringList{"Spring", "Welcome"}));

        // What the dialogs saved is what the station loads.
        const CCampaign* made = findByName(station->manager, "Spring");
        campag::CCampaignMgr restarted;
        restarted.loadAll();
        const CCampaign* loaded = findByName(restarted, "Spring");
        QVERIFY(made != nullptr && loaded != nullptr);
        for (const char* key : {"campaname", "sendfilename", "mediafile"}) {
            QCOMPARE(loaded->getValue4Key(key), made->getValue4Key(key));
        }
        QCOMPARE(loaded->getPrio(), made->getPrio());
        QCOMPARE(loaded->getSchedule()->getType(), schedule::weekdays);
        QCOMPARE(loaded->getSchedule()->getDescription(), made->getSchedule()->getDescription());
    }

    // The taken name brings the message and the edit dialog again with what was typed; a name
    // that differs only in letter case is another campaign.
    void aTakenNameIsRefusedAndTheEditDialogComesBackWithTheTypedValues() {
        station->addCampaign("Welcome");
        CCampaignDlg dialog(station->manager, radioName);
        dialog.show();
        const auto second = std::make_shared<bool>(false);
        const auto first = whenModalOpens<CInitDlg>([this, second](CInitDlg* edit) {
            fillIn(*station, edit, "Welcome", "spring", "spring.gif");
            giveMondayPeriod(edit);
            *second = false;
            const auto again = whenModalOpens<CInitDlg>([this, second](CInitDlg* retry) {
                *second = true;
                QCOMPARE(findWidget<QLineEdit>(retry, "campaignNameEdit")->text(),
                         QString("Welcome"));
                QCOMPARE(findWidget<QLineEdit>(retry, "receivingNameEdit")->text(),
                         QString("spring"));
                type(retry, "campaignNameEdit", "welcome");
                click(retry, "okButton");
            });
            click(edit, "okButton");
        });
        click(&dialog, "newButton");
        QVERIFY(*first);
        QTRY_VERIFY(*second);
        QCOMPARE(station->seam.boxTexts(),
                 QStringList{station->text("please_choose_an_other_name_for_camp")});
        QCOMPARE(station->manager.getCount(), 2);
        QCOMPARE(column(dialog, 1), (QStringList{"welcome", "Welcome"}));
    }

    // Change, then Cancel: the list comes back from the file, so a priority move made before
    // and not saved is gone, and so is what was typed.
    void changeThenCancelReloadsTheList() {
        station->addCampaign("Welcome");
        CCampaign& spring = station->addCampaign("Spring");
        CCampaign& summer = station->addCampaign("Summer");
        for (CCampaign* c : {&spring, &summer}) {
            auto period = std::make_unique<schedule::CWeekdayPeriod>(0);
            period->setStart({2, 8, 0});
            period->setEnd({2, 9, 0});
            c->getSchedule()->addPeriod(std::move(period));
        }
        QVERIFY(station->manager.saveAll());
        CCampaignDlg dialog(station->manager, radioName);
        dialog.show();
        QCOMPARE(column(dialog, 1), (QStringList{"Spring", "Summer", "Welcome"}));
        clickRow(dialog, 1);
        click(&dialog, "upButton");
        QCOMPARE(column(dialog, 1), (QStringList{"Summer", "Spring", "Welcome"}));

        clickRow(dialog, 0);
        QVERIFY(findWidget<QPushButton>(&dialog, "changeButton")->isVisible());
        QCOMPARE(findWidget<QLabel>(&dialog, "nameLabel")->text(), QString("Summer"));
        const auto ran = whenModalOpens<CInitDlg>([](CInitDlg* edit) {
            QCOMPARE(findWidget<QLineEdit>(edit, "campaignNameEdit")->text(), QString("Summer"));
            type(edit, "campaignNameEdit", "x");
            click(edit, "okButton");  // refused: the typed name is already in the campaign
            click(edit, "cancelButton");
        });
        click(&dialog, "changeButton");
        QVERIFY(*ran);
        QCOMPARE(column(dialog, 1), (QStringList{"Spring", "Summer", "Welcome"}));
        QCOMPARE(prioOf(station->manager, "Spring"), 1);
        QCOMPARE(prioOf(station->manager, "Summer"), 2);
        QVERIFY(!findWidget<QPushButton>(&dialog, "changeButton")->isVisible());
        QVERIFY(!findWidget<QLabel>(&dialog, "nameLabel")->isVisible());

        clickRow(dialog, 1);
        click(&dialog, "deleteButton");
        QCOMPARE(column(dialog, 1), (QStringList{"Spring", "Welcome"}));
        QVERIFY(!station->listFileHas("Summer"));
        QVERIFY(!findWidget<QPushButton>(&dialog, "deleteButton")->isVisible());
    }

    // A media file without an extension cannot be sent: its row shows the envelope with the
    // exclamation mark and the send name alone, and the campaign can still be opened; its OK
    // refuses the media file.
    void aCampaignWithoutAnExtensionStaysListedAndUsable() {
        station->addCampaign("Welcome");
        CCampaign& plain = station->addCampaign("Plain");
        plain.setValue4Key("mediafile", station->mediaFile("picture"));
        auto period = std::make_unique<schedule::CWeekdayPeriod>(0);
        period->setStart({2, 8, 0});
        period->setEnd({2, 9, 0});
        plain.getSchedule()->addPeriod(std::move(period));
        QVERIFY(station->manager.saveAll());
        CCampaignDlg dialog(station->manager, radioName);
        dialog.show();
        QCOMPARE(column(dialog, 2), (QStringList{"Plain", "Welcome.gif"}));
        auto* list = findWidget<QTreeWidget>(&dialog, "campaignList");
        const QImage notSendable = list->topLevelItem(0)->icon(0).pixmap(15).toImage();
        const QImage sendable = list->topLevelItem(1)->icon(0).pixmap(15).toImage();
        QVERIFY(!notSendable.isNull() && !sendable.isNull());
        QVERIFY(notSendable != sendable);

        clickRow(dialog, 0);
        const auto ran = whenModalOpens<CInitDlg>([](CInitDlg* edit) {
            QCOMPARE(findWidget<QLabel>(edit, "extensionLabel")->text(), QString());
            click(edit, "okButton");
            QCOMPARE(edit->highlightedControl(), 1007);
            click(edit, "cancelButton");
        });
        click(&dialog, "changeButton");
        QVERIFY(*ran);
        QCOMPARE(column(dialog, 1), (QStringList{"Plain", "Welcome"}));
    }

    // Rows of priorities 1, 2 and 1000: Up swaps 2 with 1; the always campaign cannot move up
    // (caption and beep) and the campaign above it cannot move down (caption only); without a
    // chosen row the caption asks for one. OK saves the moves.
    void upAndDownSwapPrioritiesAndRefuseToMoveTheAlwaysCampaign() {
        station->addCampaign("Welcome");
        station->addCampaign("Spring");
        station->addCampaign("Summer");
        CCampaignDlg dialog(station->manager, radioName);
        dialog.show();
        QCOMPARE(column(dialog, 1), (QStringList{"Spring", "Summer", "Welcome"}));

        click(&dialog, "upButton");
        QCOMPARE(dialog.windowTitle(), station->text("no_items_were_selected"));

        clickRow(dialog, 1);
        click(&dialog, "upButton");
        QCOMPARE(prioOf(station->manager, "Summer"), 1);
        QCOMPARE(prioOf(station->manager, "Spring"), 2);
        QCOMPARE(column(dialog, 1), (QStringList{"Summer", "Spring", "Welcome"}));
        QVERIFY(station->seam.beeps.empty());

        clickRow(dialog, 2);
        click(&dialog, "upButton");
        QCOMPARE(dialog.windowTitle(), station->text("always_camp_has_lowest_prio"));
        QCOMPARE(station->seam.beeps, (std::vector<testing_support::Beep>{{888, 88}}));

        dialog.setWindowTitle(QString());
        clickRow(dialog, 1);
        click(&dialog, "downButton");
        QCOMPARE(dialog.windowTitle(), station->text("always_camp_has_lowest_prio"));
        QCOMPARE(station->seam.beeps.size(), std::size_t(1));  // no beep when moving down
        QCOMPARE(column(dialog, 1), (QStringList{"Summer", "Spring", "Welcome"}));
        QCOMPARE(prioOf(station->manager, "Welcome"), campag::ALWAYS_PRIO);

        clickRow(dialog, 0);
        click(&dialog, "downButton");
        QCOMPARE(column(dialog, 1), (QStringList{"Spring", "Summer", "Welcome"}));
        click(&dialog, "okButton");
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        campag::CCampaignMgr restarted;
        restarted.loadAll();
        QCOMPARE(prioOf(restarted, "Spring"), 1);
        QCOMPARE(prioOf(restarted, "Summer"), 2);
    }

    // OK writes the fields first, then checks the name, the receiving name and the media file
    // in that order; the first that fails is highlighted and gets the focus (the chooser
    // button for the media file) and the dialog stays open.
    void anInvalidFieldIsRefusedAndHighlighted_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("receivingName");
        QTest::addColumn<QString>("mediaFile");  // "gone", "unreadable" or "there"
        QTest::addColumn<int>("highlighted");
        QTest::addColumn<QString>("focus");
        QTest::newRow("receiving name of 2") << "Welcome"
                                             << "ab"
                                             << "there" << 1009 << "receivingNameEdit";
        QTest::newRow("name of 2") << "ab"
                                   << "welcome"
                                   << "there" << 1014 << "campaignNameEdit";
        QTest::newRow("name of 18") << "abcdefghijklmnopqr"
                                    << "ab"
                                    << "there" << 1014 << "campaignNameEdit";
        QTest::newRow("name with a space") << "two words"
                                           << "welcome"
                                           << "there" << 1014 << "campaignNameEdit";
        QTest::newRow("receiving name with %") << "Welcome"
                                               << "50%off"
                                               << "there" << 1009 << "receivingNameEdit";
        QTest::newRow("receiving name with the euro sign")
            << "Welcome" << QString::fromUtf8("price\u20AC") << "there" << 1009
            << "receivingNameEdit";
        QTest::newRow("media file unreadable") << "Welcome"
                                               << "welcome"
                                               << "unreadable" << 1007 << "chooseMediaButton";
        QTest::newRow("media file gone") << "Welcome"
                                         << "welcome"
                                         << "gone" << 1007 << "chooseMediaButton";
    }
    void anInvalidFieldIsRefusedAndHighlighted() {
        QFETCH(QString, name);
        QFETCH(QString, receivingName);
        QFETCH(QString, mediaFile);
        QFETCH(int, highlighted);
        QFETCH(QString, focus);
        CCampaign& campaign = station->addCampaign("Welcome");
        const std::filesystem::path media = station->folder.file("Welcome.gif");
        if (mediaFile == "gone") {
            std::filesystem::remove(media);
        } else if (mediaFile == "unreadable") {
            std::filesystem::permissions(media, std::filesystem::perms::none);
            if (std::ifstream(media).is_open()) {
                QSKIP("this user reads files without read permission");
            }
        }
        CInitDlg edit(station->manager, radioName);
        edit.setCampaign(&campaign);
        edit.show();
        QCOMPARE(edit.highlightedControl(), CInitDlg::noHighlight);
        type(&edit, "campaignNameEdit", name);
        type(&edit, "receivingNameEdit", receivingName);
        click(&edit, "okButton");

        QCOMPARE(station->seam.boxTexts(), QStringList{station->text("this_field_is_invalid")});
        QCOMPARE(station->seam.boxes().first().title, station->text("error"));
        QVERIFY(edit.isVisible());
        QCOMPARE(edit.result(), int(QDialog::Rejected));
        QCOMPARE(edit.highlightedControl(), highlighted);
        QVERIFY(edit.control(highlighted)->property("invalid").toBool());
        QCOMPARE(edit.focusWidget(), findWidget<QWidget>(&edit, focus));
        QCOMPARE(QString::fromStdString(campaign.getValue4Key("campaname")), name);
        QCOMPARE(QString::fromStdString(campaign.getValue4Key("sendfilename")), receivingName);
    }

    // The chooser is a save-style one: it opens on the media file's folder with its name, any
    // name may be typed, and the campaign changes only with OK.
    void theMediaChooserOffersTheCurrentFileAndTakesAnyName() {
        CCampaign& campaign = station->addCampaign("Welcome");
        CInitDlg edit(station->manager, radioName);
        edit.setCampaign(&campaign);
        edit.show();
        const QString absent = QString::fromStdString(station->folder.file("later.png"));
        station->seam.chooseNextFile(absent);
        click(&edit, "chooseMediaButton");
        QCOMPARE(station->seam.choosers().size(), 1);
        const auto& asked = station->seam.choosers().first();
        QCOMPARE(asked.caption, station->text("campaign"));
        QCOMPARE(asked.folder, QString::fromStdString(station->folder.folder()));
        QCOMPARE(asked.name, QString("Welcome.gif"));
        QVERIFY(asked.anyName);
        QCOMPARE(findWidget<QLineEdit>(&edit, "mediaFileEdit")->text(), absent);
        QCOMPARE(findWidget<QLabel>(&edit, "extensionLabel")->text(), QString(".png"));
        QCOMPARE(findWidget<QLabel>(&edit, "mimeTypeLabel")->text(), QString("image/png"));
        QCOMPARE(campaign.getValue4Key("mediafile"), station->folder.file("Welcome.gif"));
        click(&edit, "okButton");
        QCOMPARE(edit.highlightedControl(), 1007);  // a name typed for a file not there yet
    }

    void everyControlHasAnAccessibleName() {
        CCampaign& campaign = station->addCampaign("Welcome");
        std::vector<std::unique_ptr<QDialog>> dialogs;
        dialogs.push_back(std::make_unique<CCampaignDlg>(station->manager, radioName));
        auto edit = std::make_unique<CInitDlg>(station->manager, radioName);
        edit->setCampaign(&campaign);
        dialogs.push_back(std::move(edit));
        dialogs.push_back(std::make_unique<schedule::CSchedule1Dlg>(station->manager));
        dialogs.push_back(std::make_unique<schedule::CWeekdayDlg>());
        dialogs.push_back(std::make_unique<schedule::CMonthdayDlg>());
        dialogs.push_back(std::make_unique<schedule::CSpecificPerDlg>());
        for (const auto& dialog : dialogs) {
            QVERIFY(!dialog->windowTitle().isEmpty());
            int controls = 0;
            for (QWidget* widget : dialog->findChildren<QWidget*>()) {
                if (widget->objectName().isEmpty() || widget->objectName().startsWith("qt_")) {
                    continue;  // parts Qt makes inside a control
                }
                ++controls;
                QVERIFY2(!widget->accessibleName().isEmpty(),
                         qPrintable(dialog->objectName() + "." + widget->objectName()));
            }
            QVERIFY(controls > 5);
        }
    }

  private:
    std::unique_ptr<testing_campaigns::CampaignStation> station;
};

QTEST_MAIN(CampaignDialogsTest)
#include "tst_campaigndlg.moc"
