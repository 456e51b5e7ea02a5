#pragma once
// The blocking-list dialog: the operator picks devices in range or types addresses, and every
// address on the list is never served again. OK rewrites the blocked-address settings
// (nogoaddress1, nogoaddress2, ... without gaps) and has the back office read them at once.

#include <QIcon>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/ui/resofilter.h"

namespace Ui {
class NoGoDlg;
}
namespace backo {
class CBackOffice;
}
namespace blto {
class CBtoh;
}
class QTreeWidgetItem;

class CNoGoDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int templateNumber = 141;
    static constexpr std::chrono::milliseconds refreshPeriod{1800};

    // `front` gives the devices in range, `office` reads the list again after OK.
    CNoGoDlg(blto::CBtoh& front, backo::CBackOffice& office, QWidget* parent = nullptr);
    ~CNoGoDlg() override;

    // Writes the list and has the back office take it, then closes the dialog.
    void accept() override;
    // What every tick of the refresh timer does: the proximity list shows the current sightings.
    void refreshList();

    // True for an address as typed: six pairs of hex digits separated by colons, any case.
    static bool isTypedAddress(const QString& text);

  private:
    void loadBlockedList();
    void selectProximityDevice(QTreeWidgetItem* row);
    void addSelectedDevice();
    void filterTypedAddress();
    void addTypedAddress();
    void offerClearMenu(const QPoint& position);
    void clearRowAtMenuPoint();
    void addBlockedRow(const QString& address);
    std::vector<std::string> blockedAddresses() const;

    std::unique_ptr<Ui::NoGoDlg> ui;
    blto::CBtoh& front;
    backo::CBackOffice& office;
    QTimer refreshTimer;
    QIcon deviceIcon;
    // Where the last right-click on the blocked list happened, in the list's own coordinates.
    QPoint menuPoint;
    // How many blocked-address keys the settings held when the dialog opened.
    int keysAtOpening = 0;
};
