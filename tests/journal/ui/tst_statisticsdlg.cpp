// The statistics window over a journal the test writes: the chart and the tables show the
// rows' figures, a change of range re-reads, the CSV export is the journal's CSV of the shown
// range, and a missing or damaged journal is named in words. On an X server the window of a
// demo station's day is saved as <build>/screenshots/statistics.png and must not be blank.

#include <QApplication>
#include <QBarSet>
#include <QChartView>
#include <QDateEdit>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "journal/report.h"
#include "journal/ui/statisticsdlg.h"
#include "support/texts.h"
#include "tests/common/dialogtest.h"
#include "tests/common/tempfolder.h"
#include "tests/journal/journalfixture.h"

using journal::ui::CStatisticsDlg;
using testing_support::DialogSeam;
using testing_support::findWidget;

namespace {

constexpr std::int64_t secondDayStart = journal_testing::dayStart + 86400;

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The chart's pushes per outcome name, summed over its columns.
std::map<QString, qreal> chartSums(CStatisticsDlg& dialog) {
    std::map<QString, qreal> sums;
    auto* view = findWidget<QChartView>(&dialog, "chartView");
    for (QAbstractSeries* series : view->chart()->series()) {
        for (QBarSet* set : static_cast<QStackedBarSeries*>(series)->barSets()) {
            sums[set->label()] += set->sum();
        }
    }
    return sums;
}

// A busy demo day: every hour from 8 to 20, pushes of three campaigns to phones of four makers,
// most delivered, some refused or unanswered, a few of the rarer outcomes.
std::vector<journal::Entry> demoDay(std::int64_t dayStart) {
    std::vector<journal::Entry> day;
    const journal::Outcome mix[] = {
        journal::Outcome::delivered, journal::Outcome::delivered,
        journal::Outcome::delivered, journal::Outcome::refused,
        journal::Outcome::delivered, journal::Outcome::noAnswer,
        journal::Outcome::delivered, journal::Outcome::connectionFailed,
        journal::Outcome::delivered, journal::Outcome::noService,
        journal::Outcome::delivered, journal::Outcome::fileUnusable,
        journal::Outcome::rangeTest,
    };
    int n = 0;
    for (int hour = 8; hour <= 20; ++hour) {
        const int pushes = 6 + (hour * 7) % 11;
        for (int i = 0; i < pushes; ++i, ++n) {
            journal::Entry entry = journal_testing::entryAt(
                dayStart + hour * 3600 + i * 97, mix[(n * 5 + hour) % std::size(mix)], n);
            day.push_back(entry);
        }
    }
    return day;
}

}  // namespace

class StatisticsDlgTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() {
        support::texts().load(std::string(NYVEX_SOURCE_DIR) + "/data/station/resource.xml");
    }

    void showsTheFiguresOfTheRowsInTheRange() {
        testing_support::TempFolder folder;
        const auto entries = journal_testing::sampleEntries(300);
        writeJournal(folder, entries);
        CStatisticsDlg dialog(folder.path().string());
        chooseDays(dialog, journal_testing::dayStart, journal_testing::dayStart);

        const journal::TimeRange range = dialog.shownRange();
        std::map<QString, qreal> expected;
        for (const journal::Entry& entry : entries) {
            if (entry.time >= range.from && entry.time <= range.until) {
                expected[outcomeText(entry.outcome)] += 1;
            }
        }
        QVERIFY(!expected.empty());
        QVERIFY(chartSums(dialog) == withZeros(expected));

        findWidget<QRadioButton>(&dialog, "perDayButton")->setChecked(true);
        QVERIFY(chartSums(dialog) == withZeros(expected));

        journal::CJournalStore store;
        QVERIFY(store.open(journalPath(folder), journal::CJournalStore::Access::readOnly));
        const auto rates = store.rates(range, journal::Grouping::campaign);
        auto* table = findWidget<QTableWidget>(&dialog, "campaignTable");
        QCOMPARE(table->rowCount(), static_cast<int>(rates.size()));
        for (int row = 0; row < table->rowCount(); ++row) {
            QCOMPARE(table->item(row, 0)->text().toStdString(), rates[row].name);
            QCOMPARE(table->item(row, 1)->text().toLongLong(), rates[row].pushes);
            QCOMPARE(table->item(row, 2)->text().toLongLong(), rates[row].delivered);
        }

        // Phones of a maker the station did not know are named as such.
        auto* makers = findWidget<QTableWidget>(&dialog, "manufacturerTable");
        QVERIFY(makers->rowCount() > 0);
        QCOMPARE(makers->item(0, 0)->text(),
                 QString::fromStdString(support::text("stats_unknown")));

        // Two days hold more than one.
        chooseDays(dialog, journal_testing::dayStart, secondDayStart);
        qreal one = 0;
        for (const auto& [name, sum] : expected) {
            one += sum;
        }
        qreal two = 0;
        for (const auto& [name, sum] : chartSums(dialog)) {
            two += sum;
        }
        QVERIFY(two > one);
        QVERIFY(!findWidget<QLabel>(&dialog, "problemLabel")->isVisible());
    }

    void exportsTheJournalsCsvOfTheShownRange() {
        testing_support::TempFolder folder;
        writeJournal(folder, journal_testing::sampleEntries(120));
        CStatisticsDlg dialog(folder.path().string());
        chooseDays(dialog, journal_testing::dayStart, journal_testing::dayStart);
        DialogSeam seam;
        const std::string target = (folder.path() / "export.csv").string();
        seam.chooseNextFile(QString::fromStdString(target));
        findWidget<QPushButton>(&dialog, "exportButton")->click();

        journal::CJournalStore store;
        QVERIFY(store.open(journalPath(folder), journal::CJournalStore::Access::readOnly));
        std::ostringstream csv;
        QVERIFY(journal::writeCsv(store, dialog.shownRange(), csv));
        QCOMPARE(readAll(target), csv.str());
        QVERIFY(seam.boxTexts().empty());
    }

    void namesWhatIsWrongWithTheJournal() {
        struct Case {
            const char* name;
            const char* content;  // null: no journal
            const char* key;
        };
        const Case cases[] = {
            {"missing", nullptr, "stats_no_journal"},
            {"damaged", "this is not a journal at all, only some bytes",
             "stats_journal_unreadable"},
        };
        for (const Case& c : cases) {
            testing_support::TempFolder folder;
            if (c.content != nullptr) {
                folder.write(journal::journalFileName, c.content);
            }
            CStatisticsDlg dialog(folder.path().string());
            dialog.show();
            auto* problem = findWidget<QLabel>(&dialog, "problemLabel");
            QVERIFY2(problem->isVisible(), c.name);
            QVERIFY2(problem->text().startsWith(support::text(c.key).c_str()), c.name);
            QVERIFY(!findWidget<QPushButton>(&dialog, "exportButton")->isEnabled());
            if (c.content != nullptr) {
                QCOMPARE(readAll(journalPath(folder)), std::string(c.content));
            }
        }
    }

    // A journal that opens but fails when its figures are read, and a station that cannot
    // record while the journal reads well: both are said, never an empty chart alone.
    void namesAProblemFoundAfterTheJournalOpened() {
        testing_support::TempFolder folder;
        writeJournal(folder, journal_testing::sampleEntries(300));
        {
            CStatisticsDlg dialog(folder.path().string(), "the disk is full");
            chooseDays(dialog, journal_testing::dayStart, journal_testing::dayStart);
            auto* problem = findWidget<QLabel>(&dialog, "problemLabel");
            QVERIFY(!problem->isHidden());
            QCOMPARE(problem->text(), QString::fromStdString(support::text("stats_not_recording")) +
                                          QStringLiteral("the disk is full"));
        }
        QVERIFY(journal_testing::damageTable(journalPath(folder), "dayManufacturers"));
        CStatisticsDlg dialog(folder.path().string(), "the disk is full");
        chooseDays(dialog, journal_testing::dayStart, journal_testing::dayStart);
        auto* problem = findWidget<QLabel>(&dialog, "problemLabel");
        QVERIFY(!problem->isHidden());
        QVERIFY2(problem->text().startsWith(support::text("stats_journal_unreadable").c_str()),
                 qPrintable(problem->text()));
        // Nothing of the figures read before the failure stays on screen.
        const QChart* chart = findWidget<QChartView>(&dialog, "chartView")->chart();
        QVERIFY(chart->series().isEmpty());
        QVERIFY(chart->axes().isEmpty());
        QCOMPARE(findWidget<QTableWidget>(&dialog, "campaignTable")->rowCount(), 0);
    }

    void aDemoDayOnScreenIsNotBlank() {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("the screenshot is taken on an X server only");
        }
        testing_support::TempFolder folder;
        const QDate today = QDate::currentDate();
        const std::int64_t start = QDateTime(today, QTime(0, 0)).toSecsSinceEpoch();
        writeJournal(folder, demoDay(start));
        CStatisticsDlg dialog(folder.path().string());
        dialog.resize(1000, 700);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::qWait(500);
        const QImage shot = QGuiApplication::primaryScreen()
                                ->grabWindow(dialog.winId())
                                .toImage()
                                .convertToFormat(QImage::Format_RGB32);
        const QString folderName = QStringLiteral(NYVEX_BUILD_DIR "/screenshots");
        QDir().mkpath(folderName);
        QVERIFY(shot.save(folderName + "/statistics.png"));

        // Several outcome colours and many others in the chart: bars, axes, legend and text.
        auto* view = findWidget<QChartView>(&dialog, "chartView");
        const QRect area(view->mapTo(&dialog, QPoint(0, 0)), view->size());
        std::set<QRgb> colours;
        for (int y = area.top(); y < area.bottom(); ++y) {
            for (int x = area.left(); x < area.right(); ++x) {
                colours.insert(shot.pixel(x, y));
            }
        }
        QVERIFY2(colours.size() > 20, "the chart area is blank");
        for (QRgb bar : {qRgb(0x2e, 0x7d, 0x32), qRgb(0xc6, 0x28, 0x28)}) {
            QVERIFY2(colours.contains(bar), "a bar colour is missing");
        }
    }

  private:
    static std::string journalPath(const testing_support::TempFolder& folder) {
        return (folder.path() / journal::journalFileName).string();
    }
    static void writeJournal(const testing_support::TempFolder& folder,
                             const std::vector<journal::Entry>& entries) {
        journal::CJournalStore store;
        QVERIFY(store.open(journalPath(folder), journal::CJournalStore::Access::readWrite));
        QVERIFY(store.append(entries));
    }
    static void chooseDays(CStatisticsDlg& dialog, std::int64_t first, std::int64_t last) {
        findWidget<QDateEdit>(&dialog, "fromDate")
            ->setDate(QDateTime::fromSecsSinceEpoch(first).date());
        findWidget<QDateEdit>(&dialog, "toDate")
            ->setDate(QDateTime::fromSecsSinceEpoch(last).date());
    }
    static QString outcomeText(journal::Outcome outcome) {
        static const char* const keys[] = {"outcome_delivered",  "outcome_refused",
                                           "outcome_no_answer",  "outcome_connection_failed",
                                           "outcome_no_service", "outcome_file_unusable",
                                           "outcome_range_test"};
        return QString::fromStdString(support::text(keys[static_cast<int>(outcome)]));
    }
    // Every outcome is a set of the chart, with 0 where none happened.
    static std::map<QString, qreal> withZeros(std::map<QString, qreal> sums) {
        for (journal::Outcome outcome : journal::allOutcomes) {
            sums.try_emplace(outcomeText(outcome), 0);
        }
        return sums;
    }
};

QTEST_MAIN(StatisticsDlgTest)
#include "tst_statisticsdlg.moc"
