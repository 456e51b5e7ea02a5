#include "devicelist.h"

#include <QEvent>
#include <QHeaderView>

#include "memory/recordtexts.h"
#include "platform/beep.h"
#include "support/ui/artwork.h"
#include "support/ui/displaytext.h"

namespace devicelist {
namespace {

constexpr int smallDeviceBitmap = 137;
constexpr QSize smallDeviceImage{10, 15};
constexpr int pictureColumnWidth = 12;

void fitColumns(QTreeWidget* list) {
    const int width = list->viewport()->width();
    list->setColumnWidth(iconColumn, pictureColumnWidth);
    if (list->columnCount() == 2) {
        list->setColumnWidth(addressColumn, width - 14);
        return;
    }
    list->setColumnWidth(addressColumn, (width - 14) / 3);
    list->setColumnWidth(nameColumn, (width - 16) / 3);
    list->setColumnWidth(manufacturerColumn, (width - 14) / 3);
}

// Keeps the column widths in step with the list's client width.
class ColumnFitter : public QObject {
  public:
    explicit ColumnFitter(QTreeWidget* list) : QObject(list), list(list) {
        list->viewport()->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            fitColumns(list);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QTreeWidget* list;
};

}  // namespace

QIcon smallDeviceIcon() {
    const QPixmap picture = artwork::bitmap(smallDeviceBitmap);
    if (picture.isNull()) {
        platform::beep(400, 40);
        return {};
    }
    return QIcon(picture.copy(QRect(QPoint(0, 0), smallDeviceImage)));
}

void setUp(QTreeWidget* list, const QStringList& headings) {
    list->setColumnCount(static_cast<int>(headings.size()) + 1);
    list->setHeaderLabels(QStringList{QString()} + headings);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setIconSize(smallDeviceImage);
    list->header()->setStretchLastSection(false);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    new ColumnFitter(list);
    fitColumns(list);
}

void fill(QTreeWidget* list, const SightingSource& sightingAt, const QIcon& icon) {
    const QTreeWidgetItem* selected = list->currentItem();
    const QString selectedAddress = selected ? selected->text(addressColumn) : QString();
    list->clear();
    for (int i = 0; i < maxRows; ++i) {
        const CArrSyncMgr::Sighting copy = sightingAt(i);
        if (!copy || copy->record() == nullptr) {
            return;
        }
        const NyvexSighting& record = *copy->record();
        auto* row = new QTreeWidgetItem(list);
        row->setIcon(iconColumn, icon);
        row->setText(addressColumn,
                     QString::fromStdString(backo::CBtAdWrapper::addressWithColons(record)));
        row->setText(nameColumn, displayText(record.device.name, std::size(record.device.name)));
        row->setText(manufacturerColumn,
                     displayText(record.manufacturerName, std::size(record.manufacturerName)));
        if (!selectedAddress.isEmpty() && row->text(addressColumn) == selectedAddress) {
            list->setCurrentItem(row);
        }
    }
}

}  // namespace devicelist
