#include "rangetestdlg.h"

#include <QPushButton>

#include "app/station/threadcenter.h"
#include "memory/recordtexts.h"
#include "platform/beep.h"
#include "support/ui/artwork.h"
#include "support/ui/devicelist.h"
#include "support/ui/userdialogs.h"
#include "ui_rangetestdlg.h"

namespace {

constexpr int testButtonId = 1001;
constexpr int cancelButtonId = 2;
constexpr int chosenPictureBitmap = 138;
// What the sender's queueRangeTest answers when there is no usable test campaign.
constexpr int noTestCampaign = 2;

}  // namespace

CRangeTestDlg::CRangeTestDlg(CThreadCenter& center, QWidget* parent)
    : CResoFilter(templateNumber, parent),
      ui(std::make_unique<Ui::RangeTestDlg>()),
      center(center) {
    ui->setupUi(this);
    setItemText(cancelButtonId, "cancel");
    setItemText(testButtonId, "test");
    setWindowTitle(text("rangetest"));

    deviceIcon = devicelist::smallDeviceIcon();
    devicelist::setUp(ui->deviceList, {text("bt_address"), text("name"), text("manufacturer")});
    ui->chosenPicture->setPixmap(artwork::bitmap(chosenPictureBitmap));
    // The place of the picture stays reserved, so that choosing a device moves nothing.
    QSizePolicy keepPlace = ui->chosenPicture->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    ui->chosenPicture->setSizePolicy(keepPlace);
    ui->chosenPicture->hide();

    connect(ui->deviceList, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* row) { choose(row); });
    connect(ui->deviceList, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* row) { choose(row); });
    connect(ui->testButton, &QPushButton::clicked, this, &CRangeTestDlg::test);
    connect(ui->cancelButton, &QPushButton::clicked, this, &CRangeTestDlg::reject);

    refreshTimer.setObjectName(QStringLiteral("refreshTimer"));
    refreshTimer.setParent(this);
    connect(&refreshTimer, &QTimer::timeout, this, &CRangeTestDlg::refreshList);
    refreshTimer.start(refreshPeriod);
}

CRangeTestDlg::~CRangeTestDlg() {
    center.setScan(true);
}

void CRangeTestDlg::done(int result) {
    center.setScan(true);
    CResoFilter::done(result);
}

void CRangeTestDlg::refreshList() {
    blto::CBtoh& front = *center.front();
    devicelist::fill(
        ui->deviceList, [&front](int index) { return front.sightingAt(index); }, deviceIcon);
}

void CRangeTestDlg::choose(QTreeWidgetItem* row) {
    chosenAddress = row->text(devicelist::addressColumn);
    ui->chosenAddressLabel->setText(chosenAddress);
    ui->chosenNameLabel->setText(row->text(devicelist::nameColumn));
    ui->chosenPicture->show();
    ui->testButton->setEnabled(true);
    center.setScan(false);
}

void CRangeTestDlg::test() {
    btsend::CBtSender& sender = *center.sender();
    if (sender.jobCount() > mostJobsBeforeTest) {
        platform::beep(999, 20);
        return;
    }
    refreshTimer.stop();
    // A last inquiry may still have been under way when the device was chosen.
    center.setScan(false);
    blto::CBtoh& front = *center.front();
    for (int i = 0; i < searchedSightings; ++i) {
        CArrSyncMgr::Sighting sighting = front.sightingAt(i);
        if (!sighting) {
            return;
        }
        const NyvexSighting* record = sighting->record();
        if (record != nullptr &&
            QString::fromStdString(backo::CBtAdWrapper::addressWithColons(*record))
                    .compare(chosenAddress, Qt::CaseInsensitive) == 0) {
            if (sender.queueRangeTest(std::move(sighting)) == noTestCampaign) {
                CMessageBox::show(this, text("testcampaign_damaged_check"), windowTitle(),
                                  QMessageBox::Warning);
            }
            return;
        }
    }
}
