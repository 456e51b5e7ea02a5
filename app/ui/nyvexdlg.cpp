#include "nyvexdlg.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenuBar>
#include <QMetaObject>

#include "app/station/journalfeed.h"
#include "app/station/nyvexapp.h"
#include "app/station/threadcenter.h"
#include "app/ui/aboutdlg.h"
#include "app/ui/programtexts.h"
#include "app/ui/radiowatch.h"
#include "app/ui/tooldialogs.h"
#include "backoffice/backoffice.h"
#include "campaigns/campaignmgr.h"
#include "journal/ui/statisticsdlg.h"
#include "support/errlog.h"
#include "support/ui/artwork.h"
#include "support/ui/displaytext.h"
#include "support/ui/userdialogs.h"
#include "ui_nyvexdlg.h"

namespace {

constexpr int campaignIconSize = 15;
constexpr int campaignIconColumnWidth = 17;
// The statistics window's menu item; it opens the window without pausing any worker.
constexpr int statisticsCommand = 32778;

struct MenuItem {
    ToolCommand command;
    const char* key;
    const char* objectName;
};
// In the menu's order.
const MenuItem menuItems[] = {
    {ToolCommand::rangeTest, "rangetest", "rangeTestAction"},
    {ToolCommand::blockingList, "nogo", "blockingListAction"},
    {ToolCommand::configuration, "configuration", "configurationAction"},
    {ToolCommand::campaigns, "campaigns", "campaignsAction"},
};

CThreadCenter* center() {
    return theApp().threadCenter();
}

blto::CBTScanner1* scanner() {
    CThreadCenter* c = center();
    return c != nullptr ? c->front()->scanner() : nullptr;
}

// The name under which the campaign's file is sent; empty when it cannot be built.
QString sendNameOf(const campag::CCampaign& campaign) {
    try {
        return displayText(QString::fromStdString(campaign.getSendFileName()));
    } catch (const campag::CCampaignException&) {
        return {};
    }
}

// A text over a picture, cut with "…" to the label's width; the whole text is its tool tip.
void setFittedText(QLabel* label, const QString& text) {
    label->ensurePolished();
    const QString fitted = label->fontMetrics().elidedText(text, Qt::ElideRight, label->width());
    label->setText(fitted);
    label->setToolTip(fitted == text ? QString() : text);
}

QIcon campaignIcon(bool sendable) {
    const QPixmap icons = artwork::bitmap(146);
    const int image = sendable ? 0 : 1;
    return QIcon(icons.copy(image * campaignIconSize, 0, campaignIconSize, campaignIconSize));
}

}  // namespace

CNyvexDlg::CNyvexDlg(QWidget* parent)
    : CResoFilter(dialogTemplate, parent), ui(std::make_unique<Ui::NyvexDlg>()) {
    artwork::load();
    ui->setupUi(this);
    setLabels();
    countRadios();
    setWindowIcon(artwork::programIcon());
    layout()->setMenuBar(makeMenu());
    setWindowTitle(normalTitle());

    connect(&timer, &QTimer::timeout, this, &CNyvexDlg::tick);
    timer.start(timerMs);

    ui->deviceList->setIconSize(artwork::bitmap(129).size());
    QPalette listColours = ui->deviceList->palette();
    listColours.setColor(QPalette::Base, listColours.color(QPalette::Button));
    ui->deviceList->setPalette(listColours);
    ui->campaignList->setHeaderLabels({QString(), text("activ_campai")});
    ui->campaignList->header()->setMinimumSectionSize(campaignIconColumnWidth);
    ui->campaignList->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    ui->campaignList->setColumnWidth(0, campaignIconColumnWidth);
    ui->campaignList->header()->setStretchLastSection(true);
    ui->inFlightList->setHeaderLabels(
        {text("in_flight_phone"), text("in_flight_campaign"), text("in_flight_sent")});
    connect(&inFlightTimer, &QTimer::timeout, this, &CNyvexDlg::showPushesInFlight);
    inFlightTimer.start(inFlightMs);

    connect(ui->clearMemoryButton, &QPushButton::clicked, this, &CNyvexDlg::clearMemory);
    connect(ui->cancelButton, &QPushButton::clicked, this, &CNyvexDlg::reject);
    connect(ui->okButton, &QPushButton::clicked, this, &CNyvexDlg::accept);

    if (CThreadCenter* c = center()) {
        c->setNoRadioNotice([this] { stopActivity(); });
    }
    radioWatch = std::make_unique<CRadioWatch>([this] { radiosChanged(); });
    // A failed error-log write may happen on any thread; the window shows it on its own.
    support::setAlertHandler([this](const std::string& alert) {
        QMetaObject::invokeMethod(
            this, [this, text = QString::fromStdString(alert)] { showAlert(text); },
            Qt::QueuedConnection);
    });
    previousNotice = theApp().currentUserNotice();
    theApp().setUserNotice(this);
    ui->sendNameLabel->hide();
    ui->senderLabel->hide();
    refreshDisplay();
}

CNyvexDlg::~CNyvexDlg() {
    theApp().setUserNotice(previousNotice);
    support::setAlertHandler(nullptr);
    if (CThreadCenter* c = center()) {
        c->setNoRadioNotice(nullptr);
    }
}

QString CNyvexDlg::normalTitle() {
    return QStringLiteral("%1     Tolvik %2")
        .arg(QLatin1String(programtexts::webAddress), QLatin1String(programtexts::version));
}

void CNyvexDlg::setLabels() {
    setItemText(1015, "remembered");
    setItemText(1017, "found");
    setItemText(1016, "new_of_these");
    setItemText(1014, "sensitivity");
    setItemText(1018, "jobs");
    setItemText(1104, "dongles");
    setItemText(1102, "successful");
    setItemText(1103, "failed");
    setItemText(1105, "only_topmost");
    setItemText(1001, "clear_memory");
    setItemText(2, "cancel");
    setItemText(1120, "in_flight");
    ui->statusLabel->setToolTip(text("status_legend"));
}

QMenuBar* CNyvexDlg::makeMenu() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));
    QMenu* tools = bar->addMenu(text("menu_title"));
    tools->setObjectName(QStringLiteral("toolsMenu"));
    for (const MenuItem& item : menuItems) {
        QAction* action = tools->addAction(text(item.key));
        action->setObjectName(QLatin1String(item.objectName));
        action->setProperty(controlIdProperty, static_cast<int>(item.command));
        action->setEnabled(CToolDialogs::program().has(item.command));
        connect(action, &QAction::triggered, this,
                [this, command = item.command] { CToolDialogs::program().run(command, this); });
    }
    QAction* statistics = tools->addAction(text("statistics"));
    statistics->setObjectName(QStringLiteral("statisticsAction"));
    statistics->setProperty(controlIdProperty, statisticsCommand);
    connect(statistics, &QAction::triggered, this, &CNyvexDlg::openStatistics);
    // Window managers here offer no system menu a program could add to: the about item sits
    // in the menu bar instead.
    QAction* about = bar->addAction(QString::fromLatin1(programtexts::aboutItem));
    about->setObjectName(QStringLiteral("aboutAction"));
    connect(about, &QAction::triggered, this, [this] { CAboutDlg(this).exec(); });
    return bar;
}

void CNyvexDlg::countRadios() {
    CThreadCenter* c = center();
    radioCount = c != nullptr ? c->checkRadio() : 0;
    // The description changes only with the radios, and asking for it may take a while.
    radioDescription = radioCount > 0
                           ? QString::fromStdString(theApp().radioNameService().radioDescription())
                           : QString();
}

void CNyvexDlg::radiosChanged() {
    countRadios();
    showCampaignState();
    showCounters();
    showRadioPanel();
}

void CNyvexDlg::refreshDisplay() {
    showCampaignState();
    showDevices();
    showCounters();
    showRadioPanel();
    showCampaigns();
}

void CNyvexDlg::tick() {
    ticker.tick();
    if (radioWatch != nullptr && !radioWatch->isWatching()) {
        countRadios();
    }
    if (isMinimized()) {
        return;
    }
    refreshDisplay();
}

void CNyvexDlg::showCampaignState() {
    auto* campaigns = theApp().campaigns();
    const campag::CCampaign* current = campaigns != nullptr ? campaigns->chooseCampaign() : nullptr;
    if (current == nullptr) {
        stopActivity();
        setWindowTitle(text("no_campaign"));
    } else if (radioCount < 1) {
        stopActivity();
        setWindowTitle(text("no_bluetooth"));
    } else {
        setWindowTitle(normalTitle());
        setFittedText(ui->sendNameLabel, sendNameOf(*current));
        startActivity();
    }
}

// The devices of the last inquiry; once the sightings run out the list keeps them for
// emptyTicksKept ticks and is cleared on the next.
void CNyvexDlg::showDevices() {
    CThreadCenter* c = center();
    QStringList devices;
    for (int i = 0; i < maxDevices && c != nullptr; ++i) {
        const auto copy = c->front()->sightingAt(i);
        if (copy == nullptr || copy->record() == nullptr) {
            break;
        }
        const NyvexSighting& record = *copy->record();
        devices << displayText(record.device.name, std::size(record.device.name)) + '\n' +
                       displayText(record.manufacturerName, std::size(record.manufacturerName));
    }
    if (devices.isEmpty()) {
        if (emptyTicks >= emptyTicksKept) {
            ui->deviceList->clear();
            shownDevices.clear();
        }
        ++emptyTicks;
        return;
    }
    emptyTicks = 0;
    if (devices == shownDevices) {
        return;
    }
    shownDevices = devices;
    ui->deviceList->clear();
    const QIcon phone(artwork::bitmap(129));
    for (const QString& device : devices) {
        const QStringList parts = device.split('\n');
        auto* item = new QListWidgetItem(phone,
                                         displayText(parts.at(0), shownNameLength) + '\n' +
                                             displayText(parts.at(1), shownNameLength),
                                         ui->deviceList);
        item->setToolTip(device);
    }
}

void CNyvexDlg::setNumber(int controlId, int value) {
    if (auto* field = control<QLineEdit>(controlId)) {
        field->setText(QString::number(value));
    }
}

void CNyvexDlg::showCounters() {
    CThreadCenter* c = center();
    setNumber(1006, ticker.rememberedDevices());
    setNumber(1005, radioCount);
    if (c == nullptr) {
        return;
    }
    blto::CBTScanner1* s = scanner();
    setNumber(1008, c->front()->sightingCount());
    setNumber(1009, c->newDevices().count());
    setNumber(1010, s != nullptr ? s->inquiryLength() : 0);
    setNumber(1011, c->sender()->jobCount());
    setNumber(1012, c->sender()->counters().getSuccessful());
    setNumber(1013, c->sender()->counters().getFailed());
    ui->statusLabel->setText(QString::fromStdString(c->statusText()));
}

void CNyvexDlg::showPushesInFlight() {
    CThreadCenter* c = center();
    const std::vector<btsend::CPushesInFlight::Push> pushes =
        c != nullptr ? c->sender()->pushesInFlight().snapshot()
                     : std::vector<btsend::CPushesInFlight::Push>();
    ui->inFlightList->clear();
    for (const btsend::CPushesInFlight::Push& push : pushes) {
        // Until the push has read its file, its size is not known and there is nothing to show.
        const QString sent = push.fileBytes == 0 ? QString()
                                                 : text("kb_of_kb")
                                                       .arg((push.bytesAccepted + 1023) / 1024)
                                                       .arg((push.fileBytes + 1023) / 1024);
        new QTreeWidgetItem(ui->inFlightList,
                            {displayText(QString::fromStdString(push.phoneName)),
                             displayText(QString::fromStdString(push.campaignName)), sent});
    }
}

// The journal of the station's folder; the window reads it while the station goes on.
void CNyvexDlg::openStatistics() {
    const CInit* config = theApp().config();
    const std::string folder = config != nullptr ? config->folder() : std::string(".");
    CJournalFeed* feed = theApp().journal();
    const std::string recordingProblem = feed != nullptr ? feed->writer().problem() : std::string();
    journal::ui::CStatisticsDlg(folder, recordingProblem, this).exec();
}

void CNyvexDlg::showRadioPanel() {
    const bool present = radioCount > 0;
    QWidget* const parts[] = {ui->radioPicture, ui->radioDescriptionLabel, ui->radioNameLabel,
                              ui->radioAddressLabel};
    for (QWidget* part : parts) {
        part->setVisible(present);
    }
    ui->senderLabel->setVisible(present && active);
    if (!present) {
        return;
    }
    blto::CBTScanner1* s = scanner();
    const QString name =
        displayText(QString::fromStdString(s != nullptr ? s->radioName().value_or("") : ""));
    setFittedText(ui->radioAddressLabel,
                  QString::fromStdString(s != nullptr ? s->radioAddress() : ""));
    setFittedText(ui->radioNameLabel, name);
    setFittedText(ui->radioDescriptionLabel, displayText(radioDescription));
    setFittedText(ui->senderLabel, text("sender_colon") + name);
}

std::vector<CNyvexDlg::CampaignRow> CNyvexDlg::activeCampaigns() const {
    std::vector<CampaignRow> rows;
    auto* campaigns = theApp().campaigns();
    if (campaigns == nullptr) {
        return rows;
    }
    for (campag::CCampaign* campaign = campaigns->getFirstActive(); campaign != nullptr;
         campaign = campaigns->getNextActive()) {
        rows.push_back({campaign->getPrio(),
                        displayText(QString::fromStdString(campaign->getValue4Key("campaname")),
                                    shownNameLength),
                        campaign->isSendable()});
    }
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CampaignRow& a, const CampaignRow& b) { return a.prio < b.prio; });
    return rows;
}

void CNyvexDlg::showCampaigns() {
    std::vector<CampaignRow> rows = activeCampaigns();
    if (rows == shownCampaigns) {
        return;
    }
    ui->campaignList->clear();
    for (const CampaignRow& row : rows) {
        auto* item = new QTreeWidgetItem(ui->campaignList, {QString(), row.name});
        item->setIcon(0, campaignIcon(row.sendable));
    }
    shownCampaigns = std::move(rows);
}

void CNyvexDlg::startActivity() {
    if (active) {
        return;
    }
    ui->activityPicture->setPixmap(artwork::bitmap(152));
    ui->sendNameLabel->show();
    ui->senderLabel->setVisible(radioCount > 0);
    active = true;
}

void CNyvexDlg::stopActivity() {
    if (!active) {
        return;
    }
    ui->activityPicture->setPixmap(artwork::bitmap(140));
    ui->sendNameLabel->hide();
    ui->senderLabel->hide();
    active = false;
}

void CNyvexDlg::clearMemory() {
    if (auto* office = theApp().backOffice()) {
        office->clearMemory();
    }
}

void CNyvexDlg::reject() {
    if (auto* office = theApp().backOffice()) {
        office->save();
    }
    CResoFilter::reject();
}

void CNyvexDlg::showMessage(const std::string& message, const std::string& title) {
    CMessageBox::show(this, QString::fromStdString(message), QString::fromStdString(title));
}

// One box at a time: a log that cannot be written fails again and again, and the text of every
// failure is on stderr too.
void CNyvexDlg::showAlert(const QString& alert) {
    if (alertShowing) {
        return;
    }
    alertShowing = true;
    CMessageBox::show(this, alert, QStringLiteral("Nyvex"), QMessageBox::Critical);
    alertShowing = false;
}
