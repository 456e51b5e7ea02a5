#include "statisticsdlg.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QHeaderView>
#include <QStackedBarSeries>
#include <QValueAxis>
#include <filesystem>

#include "journal/ui/chartbuckets.h"
#include "journal/ui/csvexport.h"
#include "journal/ui/ratetext.h"
#include "platform/clock.h"
#include "support/ui/displaytext.h"
#include "support/ui/userdialogs.h"
#include "ui_statisticsdlg.h"

namespace journal::ui {

namespace {

struct OutcomeLook {
    const char* key;
    QColor colour;
};

// Fixed per outcome, so an operator learns them: what arrived green, what the phone refused red.
const OutcomeLook outcomeLooks[] = {
    {"outcome_delivered", QColor(0x2e, 0x7d, 0x32)},
    {"outcome_refused", QColor(0xc6, 0x28, 0x28)},
    {"outcome_no_answer", QColor(0xf9, 0xa8, 0x25)},
    {"outcome_connection_failed", QColor(0x6d, 0x4c, 0x41)},
    {"outcome_no_service", QColor(0x5e, 0x35, 0xb1)},
    {"outcome_file_unusable", QColor(0x75, 0x75, 0x75)},
    {"outcome_range_test", QColor(0x15, 0x65, 0xc0)},
};
static_assert(std::size(outcomeLooks) == allOutcomes.size());

QDate today() {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(platform::now().time_since_epoch())
            .count();
    return QDateTime::fromSecsSinceEpoch(seconds).date();
}

// Hours of a single day need only their hour; hours of several days their date too.
QString bucketLabel(std::int64_t start, BucketSize size, bool oneDay) {
    const QDateTime time = QDateTime::fromSecsSinceEpoch(start);
    if (size == BucketSize::day) {
        return time.toString(QStringLiteral("yyyy-MM-dd"));
    }
    return time.toString(oneDay ? QStringLiteral("HH:00") : QStringLiteral("MM-dd HH:00"));
}

QTableWidgetItem* numberItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

}  // namespace

CStatisticsDlg::CStatisticsDlg(std::string stationFolder, std::string recordingProblem,
                               QWidget* parent)
    : CResoFilter(dialogTemplate, parent),
      ui(std::make_unique<Ui::StatisticsDlg>()),
      journalPath((std::filesystem::path(stationFolder) / journalFileName).string()),
      recordingProblem(std::move(recordingProblem)) {
    ui->setupUi(this);
    setTexts();
    chartView = new QChartView(new QChart(), ui->chartArea);
    chartView->setObjectName(QStringLiteral("chartView"));
    chartView->setAccessibleName(text("stats_chart"));
    chartView->setRenderHint(QPainter::Antialiasing);
    ui->chartLayout->addWidget(chartView);
    ui->fromDate->setDate(today());
    ui->toDate->setDate(today());
    const std::pair<QTableWidget*, const char*> tables[] = {
        {ui->campaignTable, "in_flight_campaign"}, {ui->manufacturerTable, "manufacturer"}};
    for (const auto& [table, nameKey] : tables) {
        table->setHorizontalHeaderLabels(
            {text(nameKey), text("stats_pushes"), text("stats_delivered"), text("stats_rate")});
        table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
        table->verticalHeader()->hide();
    }
    connect(ui->fromDate, &QDateEdit::dateChanged, this, &CStatisticsDlg::refresh);
    connect(ui->toDate, &QDateEdit::dateChanged, this, &CStatisticsDlg::refresh);
    connect(ui->perDayButton, &QRadioButton::toggled, this, &CStatisticsDlg::refresh);
    connect(ui->refreshButton, &QPushButton::clicked, this, &CStatisticsDlg::refresh);
    connect(ui->exportButton, &QPushButton::clicked, this, &CStatisticsDlg::exportCsv);
    connect(ui->closeButton, &QPushButton::clicked, this, &CStatisticsDlg::accept);
    refresh();
}

CStatisticsDlg::~CStatisticsDlg() = default;

void CStatisticsDlg::setTexts() {
    setWindowTitle(text("stats_title"));
    setItemText(1201, "stats_from");
    setItemText(1203, "stats_to");
    setItemText(1205, "stats_per_hour");
    setItemText(1206, "stats_per_day");
    setItemText(1207, "stats_refresh");
    setItemText(1210, "stats_by_campaign");
    setItemText(1212, "stats_by_manufacturer");
    setItemText(1214, "stats_export");
    setItemText(2, "stats_close");
}

TimeRange CStatisticsDlg::shownRange() const {
    const QDate first = std::min(ui->fromDate->date(), ui->toDate->date());
    const QDate last = std::max(ui->fromDate->date(), ui->toDate->date());
    return {QDateTime(first, QTime(0, 0)).toSecsSinceEpoch(),
            QDateTime(last.addDays(1), QTime(0, 0)).toSecsSinceEpoch() - 1};
}

void CStatisticsDlg::refresh() {
    ui->problemLabel->hide();
    const bool readable = openJournal() && showFigures();
    ui->exportButton->setEnabled(readable);
    if (!readable) {
        replaceChart(new QChart());
        ui->campaignTable->setRowCount(0);
        ui->manufacturerTable->setRowCount(0);
    } else if (!recordingProblem.empty()) {
        showProblem(text("stats_not_recording") + QString::fromStdString(recordingProblem));
    }
}

// The chart and both tables from one look at the journal; false, with the reason shown, when
// the journal opened but could not be read for them.
bool CStatisticsDlg::showFigures() {
    if (store.readTogether(
            {[this] { showChart(); }, [this] { showRates(ui->campaignTable, Grouping::campaign); },
             [this] { showRates(ui->manufacturerTable, Grouping::manufacturer); }})) {
        return true;
    }
    showProblem(text("stats_journal_unreadable") + QString::fromStdString(store.problem()));
    return false;
}

// Opened afresh for every look, so a journal that the station made or mended meanwhile shows.
bool CStatisticsDlg::openJournal() {
    if (!std::filesystem::exists(journalPath)) {
        showProblem(text("stats_no_journal"));
        return false;
    }
    if (!store.open(journalPath, CJournalStore::Access::readOnly)) {
        const bool newer = store.problem().find("newer version") != std::string::npos;
        showProblem(newer ? text("stats_journal_newer")
                          : text("stats_journal_unreadable") +
                                QString::fromStdString(store.problem()));
        return false;
    }
    return true;
}

void CStatisticsDlg::showProblem(const QString& problem) {
    ui->problemLabel->setText(problem);
    ui->problemLabel->show();
}

void CStatisticsDlg::showChart() {
    const BucketSize size = ui->perDayButton->isChecked() ? BucketSize::day : BucketSize::hour;
    const std::vector<Bucket> buckets = foldBuckets(store.hourly(shownRange()), size);
    auto* chart = new QChart();
    auto* series = new QStackedBarSeries(chart);
    QStringList labels;
    for (const Bucket& bucket : buckets) {
        labels << bucketLabel(bucket.start, size, ui->fromDate->date() == ui->toDate->date());
    }
    for (std::size_t outcome = 0; outcome < allOutcomes.size(); ++outcome) {
        auto* set = new QBarSet(text(outcomeLooks[outcome].key));
        set->setColor(outcomeLooks[outcome].colour);
        set->setBorderColor(outcomeLooks[outcome].colour);
        for (const Bucket& bucket : buckets) {
            *set << static_cast<qreal>(bucket.pushes[outcome]);
        }
        series->append(set);
    }
    chart->addSeries(series);
    auto* categories = new QBarCategoryAxis(chart);
    categories->append(labels);
    chart->addAxis(categories, Qt::AlignBottom);
    series->attachAxis(categories);
    auto* counts = new QValueAxis(chart);
    counts->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(counts, Qt::AlignLeft);
    series->attachAxis(counts);
    counts->applyNiceNumbers();
    chart->setTitle(text("stats_chart"));
    // One outcome a line beside the chart: the longest names stay whole at any width.
    chart->legend()->setAlignment(Qt::AlignRight);
    replaceChart(chart);
}

// The view shows `chart` alone: the chart before goes with its bars and axes.
void CStatisticsDlg::replaceChart(QChart* chart) {
    QChart* previous = chartView->chart();
    chartView->setChart(chart);
    delete previous;
}

void CStatisticsDlg::showRates(QTableWidget* table, Grouping grouping) {
    const std::vector<Rate> rates = store.rates(shownRange(), grouping);
    table->setRowCount(static_cast<int>(rates.size()));
    for (int row = 0; row < static_cast<int>(rates.size()); ++row) {
        const Rate& rate = rates[static_cast<std::size_t>(row)];
        // A phone whose maker the station did not know is counted under an empty name.
        const QString name = rate.name.empty() ? text("stats_unknown")
                                               : displayText(QString::fromStdString(rate.name));
        table->setItem(row, 0, new QTableWidgetItem(name));
        table->setItem(row, 1, numberItem(QString::number(rate.pushes)));
        table->setItem(row, 2, numberItem(QString::number(rate.delivered)));
        table->setItem(row, 3, numberItem(QString::fromStdString(rateText(rate))));
    }
}

void CStatisticsDlg::exportCsv() {
    const QString file =
        CFileChooser::anyFileName(this, text("stats_export_title"), QString(),
                                  QStringLiteral("pushes.csv"), text("stats_csv_files"));
    if (file.isEmpty()) {
        return;
    }
    std::string error;
    if (!journal::ui::exportCsv(store, shownRange(), file.toStdString(), error)) {
        CMessageBox::show(this, text("stats_export_failed") + QString::fromStdString(error),
                          text("stats_title"), QMessageBox::Warning);
    }
}

}  // namespace journal::ui
