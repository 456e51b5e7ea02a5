#include "initdlg.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <fstream>

#include "campaigns/ui/schedule1dlg.h"
#include "config/configstore.h"
#include "support/ui/userdialogs.h"
#include "ui_initdlg.h"

namespace campag {

namespace {

// The labels and the media file draw red on the background picture; the field that failed its
// check draws on light cyan, the media file included.
const char* const fieldColours =
    "QLabel[redText=\"true\"], QLineEdit[redText=\"true\"] "
    "{ color: rgb(255, 0, 0); background: transparent; }"
    "QLineEdit[invalid=\"true\"], QLineEdit[redText=\"true\"][invalid=\"true\"] "
    "{ background-color: rgb(100, 255, 255); }";
constexpr int redTextIds[] = {1019, 1020, 1013, 1021, 1017, 1007};
constexpr int nameId = 1014;
constexpr int receivingNameId = 1009;
constexpr int mediaFileId = 1007;
// The chooser's name field takes at most 254 characters of the current name.
constexpr int longestOfferedName = 254;

// A path's extension: from the last dot of its file name, the dot included; "" without one.
QString extensionOf(const QString& path) {
    const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const auto dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot);
}

QString valueOf(const CCampaign& campaign, const char* key) {
    return QString::fromStdString(campaign.getValue4Key(key));
}

// A media file that is there but cannot be opened would fail every push of the campaign.
bool canRead(const std::string& path) {
    return std::ifstream(path, std::ios::binary).is_open();
}

void setFlag(QWidget* widget, const char* flag, bool on) {
    widget->setProperty(flag, on);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
}

}  // namespace

CInitDlg::CInitDlg(CCampaignMgr& campaigns, const QString& senderName, QWidget* parent)
    : CResoFilter(templateId, parent),
      ui(std::make_unique<Ui::InitDlg>()),
      manager(campaigns),
      senderName(senderName) {
    ui->setupUi(this);
    setStyleSheet(QLatin1String(fieldColours));
    for (int id : redTextIds) {
        setFlag(control(id), "redText", true);
    }
    setFlag(ui->senderLabel, "redText", true);
    setTexts();
    loadBackground();
    ui->broadcastDescription->installEventFilter(this);
    connect(ui->helpButton, &QPushButton::clicked, this, &CInitDlg::showNamingHint);
    connect(ui->chooseMediaButton, &QPushButton::clicked, this, &CInitDlg::chooseMediaFile);
    connect(ui->broadcastTimeButton, &QPushButton::clicked, this, &CInitDlg::editBroadcastTime);
    connect(ui->mediaFileEdit, &QLineEdit::textChanged, this, &CInitDlg::updateOkButton);
    connect(ui->refreshButton, &QPushButton::clicked, this, &CInitDlg::updateOkButton);
    connect(ui->okButton, &QPushButton::clicked, this, &CInitDlg::confirm);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CInitDlg::~CInitDlg() = default;

void CInitDlg::setTexts() {
    setWindowTitle(text("campaign"));
    setItemText(1017, "name_of_campaign");
    setItemText(1021, "receiving_name");
    setItemText(1019, "media_filename");
    setItemText(1039, "broadcast_time");
    setItemText(1, "ok__");
    setItemText(2, "cancel");
}

void CInitDlg::loadBackground() {
    const std::string folder = config::configCopy().getString("path", false);
    background.load(QString::fromStdString(folder + backgroundFile));
}

void CInitDlg::setCampaign(CCampaign* target) {
    campaign = target;
    const QString media = QString::fromStdString(campaign->getMediaFilePath());
    ui->mediaFileEdit->setText(media);
    ui->extensionLabel->setText(extensionOf(media));
    ui->senderLabel->setText(text("sender_colon") + senderName);
    ui->receivingNameEdit->setText(valueOf(*campaign, "sendfilename"));
    ui->campaignNameEdit->setText(valueOf(*campaign, "campaname"));
    ui->mimeTypeLabel->setText(
        campaign->hasMimeType() ? QString::fromStdString(campaign->getMimeType()) : QString());
    showBroadcastTime();
    updateOkButton();
}

void CInitDlg::showBroadcastTime() {
    QString description = QString::fromStdString(campaign->getSchedule()->getDescription());
    ui->broadcastDescription->setPlainText(
        description.replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

void CInitDlg::updateOkButton() {
    if (campaign == nullptr) {
        return;
    }
    const schedule::CSchedule& schedule = *campaign->getSchedule();
    ui->okButton->setEnabled(schedule.getType() == schedule::always ||
                             schedule.getNumPeriods() > 0);
}

void CInitDlg::chooseMediaFile() {
    const QString media = ui->mediaFileEdit->text();
    const auto slash = media.lastIndexOf(QLatin1Char('/'));
    const QString offered = media.mid(slash + 1).left(longestOfferedName);
    // A path of its own names its folder; a bare name starts in the station folder.
    const QString folder = media.startsWith(QLatin1Char('/'))
                               ? media.left(slash)
                               : QString::fromStdString(config::configCopy().folder());
    const QString chosen = CFileChooser::anyFileName(this, text("campaign"), folder, offered,
                                                     QStringLiteral("All Files (*)"));
    if (chosen.isEmpty()) {
        return;
    }
    ui->mediaFileEdit->setText(chosen);
    ui->extensionLabel->setText(extensionOf(chosen));
    showFileType(chosen);
    update();
}

void CInitDlg::showFileType(const QString& mediaFile) {
    CCampaign probe(nullptr);
    probe.setValue4Key("mediafile", mediaFile.toStdString());
    ui->mimeTypeLabel->setText(probe.hasMimeType() ? QString::fromStdString(probe.getMimeType())
                                                   : QString());
}

void CInitDlg::editBroadcastTime() {
    schedule::CSchedule1Dlg types(manager, this);
    types.setCampaign(campaign);
    types.exec();
    updateOkButton();
    showBroadcastTime();
}

void CInitDlg::showNamingHint() {
    CMessageBox::show(this, text("campaign_name4clearness"), text("name_of_campaign"),
                      QMessageBox::Information);
}

int CInitDlg::firstInvalidField() {
    campaign->setValue4Key("mediafile", ui->mediaFileEdit->text().toStdString());
    campaign->setValue4Key("sendfilename", ui->receivingNameEdit->text().toStdString());
    campaign->setValue4Key("campaname", ui->campaignNameEdit->text().toStdString());
    if (!campaign->isNameValid()) {
        return nameId;
    }
    if (!campaign->isSendFileNameValid()) {
        return receivingNameId;
    }
    if (!campaign->mediaFileExists() || !canRead(campaign->getMediaFilePath())) {
        return mediaFileId;
    }
    return 0;
}

void CInitDlg::confirm() {
    if (campaign == nullptr) {
        return;
    }
    const int invalid = firstInvalidField();
    if (invalid == 0) {
        accept();
        return;
    }
    CMessageBox::show(this, text("this_field_is_invalid"), text("error"), QMessageBox::Warning);
    QWidget* focus = invalid == mediaFileId ? ui->chooseMediaButton : control(invalid);
    focus->setFocus();
    highlight(invalid);
}

void CInitDlg::highlight(int controlId) {
    if (QWidget* previous = control(highlightId)) {
        setFlag(previous, "invalid", false);
    }
    highlightId = controlId;
    setFlag(control(controlId), "invalid", true);
    update();
}

void CInitDlg::paintEvent(QPaintEvent* event) {
    if (!background.isNull()) {
        QPainter painter(this);
        painter.drawPixmap(rect(), background);
    }
    CResoFilter::paintEvent(event);
}

bool CInitDlg::eventFilter(QObject* watched, QEvent* event) {
    // The description is only read; the caret goes on to the receiving name.
    if (watched == ui->broadcastDescription && event->type() == QEvent::FocusIn) {
        ui->receivingNameEdit->setFocus();
    }
    return CResoFilter::eventFilter(watched, event);
}

}  // namespace campag
