#include "nogodlg.h"

#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <set>

#include "backoffice/backoffice.h"
#include "config/configstore.h"
#include "discovery/discoveryfront.h"
#include "platform/beep.h"
#include "support/logentry.h"
#include "support/ui/artwork.h"
#include "support/ui/devicelist.h"
#include "support/ui/userdialogs.h"
#include "ui_nogodlg.h"

namespace {

constexpr int okButtonId = 1;
constexpr int cancelButtonId = 2;
constexpr int proximityHeadingId = 1013;
constexpr int chooseDeviceButtonId = 1027;
constexpr int blockedHeadingId = 1016;
constexpr int addressEditLabelId = 1017;
constexpr int patternHintId = 1015;
constexpr int addAddressButtonId = 1001;
constexpr int selectedPictureBitmap = 138;
constexpr int clearCommand = 32775;
// The characters an address may be typed with; anything from the first other one on is cut.
const QString typedCharacters = QStringLiteral("abcdef1234567890:");

std::string blockedKey(int n) {
    return "nogoaddress" + std::to_string(n);
}

// Rewrites the blocked-address keys in one replacement of the settings file, so that a crash
// leaves the old list or the new one: `addresses` become nogoaddress1, nogoaddress2, ..., and
// the keys behind them go, every key the list had before and always the one right after the
// new list. A reader stops at the first missing key and so sees exactly `addresses`, however
// many duplicates were dropped and whatever lay behind a gap in a hand-edited file.
bool rewriteBlockedAddresses(const CInit& settings, const std::set<std::string>& addresses,
                             int keysBefore) {
    const int count = static_cast<int>(addresses.size());
    std::vector<std::string> removals;
    for (int n = count + 1; n <= std::max(keysBefore, count + 1); ++n) {
        removals.push_back(blockedKey(n));
    }
    CInit::KeyValues keys;
    for (const std::string& address : addresses) {
        keys.emplace_back(blockedKey(static_cast<int>(keys.size()) + 1), address);
    }
    return settings.replaceKeys(removals, keys);
}

}  // namespace

CNoGoDlg::CNoGoDlg(blto::CBtoh& front, backo::CBackOffice& office, QWidget* parent)
    : CResoFilter(templateNumber, parent),
      ui(std::make_unique<Ui::NoGoDlg>()),
      front(front),
      office(office) {
    ui->setupUi(this);
    setItemText(okButtonId, "ok__");
    setItemText(cancelButtonId, "cancel");
    setItemText(proximityHeadingId, "you_may_choose_from_this_list");
    setItemText(chooseDeviceButtonId, "choose");
    setItemText(blockedHeadingId, "blacklist");
    setItemText(addressEditLabelId, "or_type_an_address");
    setItemText(patternHintId, "pleaseusethispattern");
    setItemText(addAddressButtonId, "choose");

    deviceIcon = devicelist::smallDeviceIcon();
    devicelist::setUp(ui->proximityList, {text("bt_address"), text("name"), text("manufacturer")});
    devicelist::setUp(ui->blockedList, {text("bt_address")});
    loadBlockedList();

    setToolTip(text("admin_of_blacklist"));
    ui->blockedList->setToolTip(text("devnomessage_rightklick2clear"));
    ui->proximityList->setToolTip(text("bt_devices_proximity"));
    ui->blockedList->setAccessibleDescription(ui->blockedList->toolTip());
    ui->proximityList->setAccessibleDescription(ui->proximityList->toolTip());

    ui->selectedPicture->setPixmap(artwork::bitmap(selectedPictureBitmap));
    // The place of the picture stays reserved, so that selecting a device moves nothing.
    QSizePolicy keepPlace = ui->selectedPicture->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    ui->selectedPicture->setSizePolicy(keepPlace);
    ui->selectedPicture->hide();

    connect(ui->proximityList, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* row) { selectProximityDevice(row); });
    connect(ui->proximityList, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* row) { selectProximityDevice(row); });
    connect(ui->chooseDeviceButton, &QPushButton::clicked, this, &CNoGoDlg::addSelectedDevice);
    connect(ui->addressEdit, &QLineEdit::textChanged, this, &CNoGoDlg::filterTypedAddress);
    connect(ui->addAddressButton, &QPushButton::clicked, this, &CNoGoDlg::addTypedAddress);
    connect(ui->blockedList, &QWidget::customContextMenuRequested, this, &CNoGoDlg::offerClearMenu);
    connect(ui->okButton, &QPushButton::clicked, this, &CNoGoDlg::accept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &CNoGoDlg::reject);

    refreshTimer.setObjectName(QStringLiteral("refreshTimer"));
    refreshTimer.setParent(this);
    connect(&refreshTimer, &QTimer::timeout, this, &CNoGoDlg::refreshList);
    refreshTimer.start(refreshPeriod);
    setWindowTitle(text("choose_devices_for_blacklist"));
}

CNoGoDlg::~CNoGoDlg() = default;

bool CNoGoDlg::isTypedAddress(const QString& text) {
    static const QRegularExpression pattern(QStringLiteral("^[a-f0-9]{2}(:[a-f0-9]{2}){5}$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return text.size() == 17 && pattern.match(text).hasMatch();
}

void CNoGoDlg::loadBlockedList() {
    const CInit settings = config::configCopy();
    for (int n = 1;; ++n) {
        const std::string address = settings.getString(blockedKey(n), false);
        if (address == CInit::missing) {
            break;
        }
        addBlockedRow(QString::fromStdString(address));
        keysAtOpening = n;
    }
}

void CNoGoDlg::refreshList() {
    devicelist::fill(
        ui->proximityList, [this](int index) { return front.sightingAt(index); }, deviceIcon);
}

void CNoGoDlg::selectProximityDevice(QTreeWidgetItem* row) {
    ui->selectedAddressLabel->setText(row->text(devicelist::addressColumn));
    ui->selectedNameLabel->setText(row->text(devicelist::nameColumn));
    ui->selectedPicture->show();
    ui->chooseDeviceButton->setEnabled(true);
}

void CNoGoDlg::addSelectedDevice() {
    const QString address = ui->selectedAddressLabel->text();
    if (ui->blockedList->findItems(address, Qt::MatchExactly, devicelist::addressColumn)
            .isEmpty()) {
        addBlockedRow(address);
    }
    ui->selectedAddressLabel->clear();
    ui->selectedNameLabel->clear();
    ui->selectedPicture->hide();
    ui->chooseDeviceButton->setEnabled(false);
}

void CNoGoDlg::filterTypedAddress() {
    const QString typed = ui->addressEdit->text();
    qsizetype kept = 0;
    while (kept < typed.size() && typedCharacters.contains(typed[kept])) {
        ++kept;
    }
    if (kept < typed.size()) {
        platform::beep(660, 44);
        const QSignalBlocker quiet(ui->addressEdit);
        ui->addressEdit->setText(typed.left(kept));
        ui->addressEdit->setCursorPosition(static_cast<int>(typed.size() - 1));
    }
    ui->addAddressButton->setEnabled(isTypedAddress(ui->addressEdit->text()));
}

void CNoGoDlg::addTypedAddress() {
    addBlockedRow(ui->addressEdit->text().toUpper());
    ui->addAddressButton->setEnabled(false);
    ui->addressEdit->clear();
}

void CNoGoDlg::offerClearMenu(const QPoint& position) {
    menuPoint = position;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("clearMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* clear = menu->addAction(text("clear"), this, &CNoGoDlg::clearRowAtMenuPoint);
    clear->setObjectName(QStringLiteral("clearAction"));
    clear->setData(clearCommand);
    // The menu opens with its bottom-right corner at the mouse.
    const QPoint corner = ui->blockedList->viewport()->mapToGlobal(position);
    menu->popup(corner - QPoint(menu->sizeHint().width(), menu->sizeHint().height()));
}

void CNoGoDlg::clearRowAtMenuPoint() {
    delete ui->blockedList->itemAt(menuPoint);
}

void CNoGoDlg::addBlockedRow(const QString& address) {
    auto* row = new QTreeWidgetItem();
    row->setIcon(devicelist::iconColumn, deviceIcon);
    row->setText(devicelist::addressColumn, address);
    ui->blockedList->insertTopLevelItem(0, row);
}

std::vector<std::string> CNoGoDlg::blockedAddresses() const {
    std::vector<std::string> addresses;
    for (int i = 0; i < ui->blockedList->topLevelItemCount(); ++i) {
        addresses.push_back(
            ui->blockedList->topLevelItem(i)->text(devicelist::addressColumn).toStdString());
    }
    return addresses;
}

void CNoGoDlg::accept() {
    const std::vector<std::string> rows = blockedAddresses();
    const std::set<std::string> addresses(rows.begin(), rows.end());
    if (!rewriteBlockedAddresses(config::configCopy(), addresses, keysAtOpening)) {
        support::logError("blocking list not saved", support::typeTag(this));
        CMessageBox::show(this, text("nogo_not_saved"), windowTitle(), QMessageBox::Warning);
        return;
    }
    office.loadBlockedAddresses();
    CResoFilter::accept();
}
