// From the operator's dialogs to the phone: a campaign created through the campaign, edit,
// broadcast-time and period dialogs in a station folder made like an installed one is what a
// simulated phone then receives from `Nyvex --headless`.

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>
#include <memory>

#include "campaigns/campaignmgr.h"
#include "campaigns/ui/campaigndlg.h"
#include "campaigns/ui/initdlg.h"
#include "campaigns/ui/schedule1dlg.h"
#include "campaigns/ui/specificperdlg.h"
#include "config/configstore.h"
#include "platform/clock.h"
#include "support/texts.h"
#include "tests/common/dialogtest.h"
#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"

using testing_support::findWidget;
using testing_support::whenModalOpens;

namespace {

namespace fs = std::filesystem;
const e2e::StationPaths paths{NYVEX_SOURCE_DIR, NYVEX_BIN_DIR};

void click(QWidget* dialog, const char* name) {
    auto* button = findWidget<QAbstractButton>(dialog, name);
    QVERIFY(button != nullptr);
    // Near the left end: a radio button takes clicks only on its circle and text.
    const int middle = button->height() / 2;
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(middle, middle));
}

void type(QWidget* dialog, const char* name, const QString& text) {
    auto* edit = findWidget<QLineEdit>(dialog, name);
    QVERIFY(edit != nullptr);
    edit->clear();
    QTest::keyClicks(edit, text);
}

// The station folder as the current directory with its configuration, while the dialogs run.
class InStation {
  public:
    explicit InStation(const fs::path& folder) : previous(fs::current_path()) {
        fs::current_path(folder);
        config::setConfig(std::make_unique<CInit>());
        support::texts().load((folder / "resource.xml").string());
    }
    ~InStation() {
        config::setConfig(nullptr);
        fs::current_path(previous);
    }
    InStation(const InStation&) = delete;
    InStation& operator=(const InStation&) = delete;

  private:
    fs::path previous;
};

}  // namespace

class CampaignDialogsEndToEnd : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void aCampaignMadeInTheDialogsIsWhatThePhonesReceive() {
        testing_support::TempFolder stationFolder;
        testing_support::TempFolder work;
        e2e::prepareStation(paths, stationFolder.path(), "");
        const std::string offer = "GIF89a the spring offer, made in the dialogs";
        stationFolder.write("spring.gif", offer);
        createSpringCampaign(stationFolder.path());

        const std::vector<e2e::Phone> phones{{"00:11:22:AA:BB:11", "accept"}};
        const fs::path world = work.path() / "world.ini";
        const fs::path inbox = work.path() / "inbox";
        const fs::path runtime = work.path() / "runtime";
        fs::create_directory(runtime);
        e2e::replaceWorld(world, e2e::worldText(phones, 0.05));
        auto phonesim = e2e::startPhonesim(paths, world, inbox, work.path());
        QVERIFY2(e2e::phonesimListening(*phonesim, phones.size()), phonesim->errors().c_str());
        auto station = e2e::startStation(paths, stationFolder.path(), world, runtime, "station");
        const fs::path received =
            inbox / e2e::compactAddress(phones[0].address) / "springoffer.gif";
        const bool delivered = e2e::waitUntil([&] { return e2e::readWholeFile(received) == offer; },
                                              std::chrono::seconds(90), e2e::pollFiles);
        QVERIFY2(delivered, (station->output() + station->errors() + phonesim->output()).c_str());
        QVERIFY(!fs::exists(inbox / e2e::compactAddress(phones[0].address) / "welcome.gif"));
        QCOMPARE(station->stop(SIGTERM, std::chrono::seconds(10)), std::optional<int>(0));
        QCOMPARE(phonesim->stop(SIGTERM, std::chrono::seconds(10)), std::optional<int>(0));
    }

  private:
    // New, the names, the media file through the chooser, "Once, in one period" from
    // yesterday to tomorrow, OK in every dialog.
    static void createSpringCampaign(const fs::path& folder) {
        InStation inStation(folder);
        testing_support::DialogSeam seam;
        campag::CCampaignMgr campaigns;
        campaigns.loadAll();
        QCOMPARE(campaigns.getCount(), 1);
        campag::CCampaignDlg dialog(campaigns, QStringLiteral("Nyvex test"));
        dialog.show();
        const auto edited = whenModalOpens<campag::CInitDlg>([&](campag::CInitDlg* edit) {
            type(edit, "campaignNameEdit", "Spring");
            type(edit, "receivingNameEdit", "springoffer");
            seam.chooseNextFile(QString::fromStdString((folder / "spring.gif").string()));
            click(edit, "chooseMediaButton");
            const auto typed =
                whenModalOpens<schedule::CSchedule1Dlg>([](schedule::CSchedule1Dlg* types) {
                    click(types, "periodRadio");
                    const auto period = whenModalOpens<schedule::CSpecificPerDlg>(
                        [](schedule::CSpecificPerDlg* once) {
                            const platform::LocalTime now = platform::toLocal(platform::now());
                            const QDate today(now.year, now.month, now.day);
                            findWidget<QDateEdit>(once, "startDateEdit")
                                ->setDate(today.addDays(-1));
                            findWidget<QDateEdit>(once, "endDateEdit")->setDate(today.addDays(1));
                            click(once, "okButton");
                        });
                    click(types, "periodDetailsButton");
                    QVERIFY(*period);
                });
            click(edit, "broadcastTimeButton");
            QVERIFY(*typed);
            click(edit, "okButton");
        });
        click(&dialog, "newButton");
        QVERIFY(*edited);
        click(&dialog, "okButton");
        QCOMPARE(campaigns.getCount(), 2);
        QVERIFY(seam.boxes().isEmpty());
    }
};

QTEST_MAIN(CampaignDialogsEndToEnd)
#include "campaigndialogs_test.moc"
