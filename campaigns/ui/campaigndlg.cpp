#include "campaigndlg.h"

#include <QGuiApplication>
#include <QTreeWidgetItem>

#include "campaigns/ui/initdlg.h"
#include "platform/beep.h"
#include "support/ui/artwork.h"
#include "support/ui/userdialogs.h"
#include "ui_campaigndlg.h"

namespace campag {

namespace {

constexpr int iconBitmap = 146;
constexpr int iconSize = 15;
constexpr int iconColumnWidth = 17;

// A row of the list: its campaign, ordered by priority.
class CampaignRow : public QTreeWidgetItem {
  public:
    explicit CampaignRow(CCampaign* campaign) : campaign(campaign) {}

    bool operator<(const QTreeWidgetItem& other) const override {
        return campaign->getPrio() < static_cast<const CampaignRow&>(other).campaign->getPrio();
    }

    CCampaign* const campaign;
};

// What the phone receives the file as; a media file without a usable extension shows the send
// name alone (the campaign cannot be sent, and its icon says so).
QString receivingNameOf(const CCampaign& campaign) {
    const std::string sendName = campaign.getValue4Key("sendfilename");
    try {
        return QString::fromStdString(sendName + campaign.getExtension());
    } catch (const CCampaignException&) {
        return QString::fromStdString(sendName);
    }
}

}  // namespace

CCampaignDlg::CCampaignDlg(CCampaignMgr& campaigns, const QString& senderName, QWidget* parent)
    : CResoFilter(templateId, parent),
      ui(std::make_unique<Ui::CampaignDlg>()),
      manager(campaigns),
      senderName(senderName) {
    ui->setupUi(this);
    const QPixmap icons = artwork::bitmap(iconBitmap);
    sendableIcon = icons.copy(0, 0, iconSize, iconSize);
    notSendableIcon = icons.copy(iconSize, 0, iconSize, iconSize);
    ui->campaignList->setIconSize(QSize(iconSize, iconSize));
    setTexts();
    fillList();
    showDetails(false);
    connect(ui->campaignList, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* row) { rowClicked(row); });
    connect(ui->newButton, &QPushButton::clicked, this, &CCampaignDlg::newCampaign);
    connect(ui->changeButton, &QPushButton::clicked, this, &CCampaignDlg::changeCampaign);
    connect(ui->deleteButton, &QPushButton::clicked, this, &CCampaignDlg::deleteCampaign);
    connect(ui->upButton, &QPushButton::clicked, this, &CCampaignDlg::moveUp);
    connect(ui->downButton, &QPushButton::clicked, this, &CCampaignDlg::moveDown);
    connect(ui->okButton, &QPushButton::clicked, this, &CCampaignDlg::saveAndClose);
    connect(ui->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCampaignDlg::~CCampaignDlg() = default;

void CCampaignDlg::setTexts() {
    setWindowTitle(text("see_all_camps_sorted_by_prio"));
    setItemText(1, "ok__");
    setItemText(2, "cancel");
    setItemText(1001, "new");
    setItemText(1034, "change");
    setItemText(1033, "clear");
    ui->campaignList->setHeaderLabels(
        {QString(), text("name"), text("receiving_name"), text("source")});
}

void CCampaignDlg::showEvent(QShowEvent* event) {
    // The columns share the list's inner width as it is shown, the icon column 17 pixels; the
    // last column takes what is left, so the list never needs a horizontal scroll bar.
    if (!columnsSized) {
        const int width = ui->campaignList->viewport()->width();
        ui->campaignList->setColumnWidth(0, iconColumnWidth);
        ui->campaignList->setColumnWidth(1, (width - 14) / 3);
        ui->campaignList->setColumnWidth(2, (width - 16) / 3);
        columnsSized = true;
    }
    CResoFilter::showEvent(event);
}

void CCampaignDlg::fillList() {
    ui->campaignList->clear();
    for (CCampaign* campaign = manager.getFirst(); campaign; campaign = manager.getNext()) {
        auto* row = new CampaignRow(campaign);
        row->setIcon(0, campaign->isSendable() ? sendableIcon : notSendableIcon);
        row->setText(1, QString::fromStdString(campaign->getValue4Key("campaname")));
        row->setText(2, receivingNameOf(*campaign));
        row->setText(3, QString::fromStdString(campaign->getMediaFilePath()));
        ui->campaignList->addTopLevelItem(row);
    }
    sortRows();
}

void CCampaignDlg::sortRows() {
    ui->campaignList->sortItems(0, Qt::AscendingOrder);
}

void CCampaignDlg::rowClicked(QTreeWidgetItem* row) {
    if (row == nullptr) {
        return;
    }
    selected = static_cast<CampaignRow*>(row)->campaign;
    ui->nameLabel->setText(row->text(1));
    ui->receivingNameLabel->setText(row->text(2));
    ui->sourceLabel->setText(row->text(3));
    showDetails(true);
}

void CCampaignDlg::showDetails(bool shown) {
    for (QWidget* widget :
         {static_cast<QWidget*>(ui->changeButton), static_cast<QWidget*>(ui->deleteButton),
          static_cast<QWidget*>(ui->nameLabel), static_cast<QWidget*>(ui->receivingNameLabel),
          static_cast<QWidget*>(ui->sourceLabel)}) {
        widget->setVisible(shown);
    }
}

bool CCampaignDlg::edit(CCampaign* campaign) {
    CInitDlg editor(manager, senderName, this);
    editor.setCampaign(campaign);
    return editor.exec() == Accepted;
}

void CCampaignDlg::newCampaign() {
    auto campaign = std::make_unique<CCampaign>(&manager);
    for (;;) {
        if (!edit(campaign.get())) {
            return;
        }
        if (manager.addCampaign(std::move(campaign))) {
            fillList();
            manager.saveAll();
            return;
        }
        CMessageBox::show(this, text("please_choose_an_other_name_for_camp"),
                          QGuiApplication::applicationDisplayName());
    }
}

void CCampaignDlg::changeCampaign() {
    if (selected == nullptr) {
        return;
    }
    for (;;) {
        if (!edit(selected)) {
            // Every change since the list was last saved goes, the edit's typing included.
            manager.loadAll();
            fillList();
            break;
        }
        if (manager.rename(selected)) {
            fillList();
            manager.saveAll();
            break;
        }
        CMessageBox::show(this, text("please_choose_an_other_name_for_camp"),
                          QGuiApplication::applicationDisplayName());
    }
    selected = nullptr;
    showDetails(false);
}

void CCampaignDlg::deleteCampaign() {
    if (selected == nullptr) {
        return;
    }
    manager.removeCampaign(selected);
    selected = nullptr;
    fillList();
    showDetails(false);
}

int CCampaignDlg::chosenRow() {
    const auto chosen = ui->campaignList->selectedItems();
    if (chosen.isEmpty()) {
        setWindowTitle(text("no_items_were_selected"));
        return -1;
    }
    return ui->campaignList->indexOfTopLevelItem(chosen.first());
}

CCampaign* CCampaignDlg::campaignAt(int row) const {
    return static_cast<CampaignRow*>(ui->campaignList->topLevelItem(row))->campaign;
}

bool CCampaignDlg::swapPriorities(int first, int second) {
    CCampaign& moving = *campaignAt(first);
    CCampaign& other = *campaignAt(second);
    const int movingPrio = moving.getPrio();
    const int otherPrio = other.getPrio();
    try {
        moving.setPrio(otherPrio);
    } catch (const CCampaignException&) {
        return false;
    }
    try {
        other.setPrio(movingPrio);
    } catch (const CCampaignException&) {
        moving.setPrio(movingPrio);
        return false;
    }
    sortRows();
    return true;
}

void CCampaignDlg::moveUp() {
    const int row = chosenRow();
    if (row <= 0) {
        return;
    }
    if (!swapPriorities(row, row - 1)) {
        setWindowTitle(text("always_camp_has_lowest_prio"));
        platform::beep(alwaysLastBeepHz, alwaysLastBeepMs);
    }
}

void CCampaignDlg::moveDown() {
    const int row = chosenRow();
    if (row < 0 || row >= ui->campaignList->topLevelItemCount() - 1) {
        return;
    }
    // The campaign below takes the chosen one's priority first, so that moving the campaign
    // just above the always campaign down is refused before anything changes.
    if (!swapPriorities(row + 1, row)) {
        setWindowTitle(text("always_camp_has_lowest_prio"));
    }
}

void CCampaignDlg::saveAndClose() {
    manager.saveAll();
    accept();
}

}  // namespace campag
