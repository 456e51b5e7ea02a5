#pragma once
// The operator's main window, open for as long as the station runs. Every 2200 ms it shows what
// discovery and sending are doing: the counters, the devices of the last inquiry, the campaigns
// on air, the radio's identity and whether anything is being sent. It carries the menu of tool
// commands and clears the device memory; closing it saves the memory and ends the station.

#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "app/station/nyvexapp.h"
#include "app/station/stationtick.h"
#include "support/ui/resofilter.h"

class CRadioWatch;
class QMenuBar;

namespace Ui {
class NyvexDlg;
}

// While the window is open the application object's messages (a tool command's missing radio)
// appear in boxes owned by it.
class CNyvexDlg : public CResoFilter, private CUserNotice {
    Q_OBJECT

  public:
    static constexpr int dialogTemplate = 102;
    static constexpr int timerMs = 2200;
    // The pushes in flight are shown more often, so their bytes visibly grow.
    static constexpr int inFlightMs = 500;
    static constexpr int maxDevices = 20;
    // Ticks the device list keeps its items after the sightings ran out.
    static constexpr int emptyTicksKept = 16;
    // How much of a name from outside the list and the panels show (the whole name is the
    // item's tool tip).
    static constexpr int shownNameLength = 40;

    explicit CNyvexDlg(QWidget* parent = nullptr);
    ~CNyvexDlg() override;

    // Cancel, Escape and the window's close button: the device memory is stored, and the
    // station ends.
    void reject() override;

    // One refresh, as the 2200 ms timer runs it.
    void tick();
    // Radios may have come or gone: counts them again and shows what follows from it.
    void radiosChanged();
    bool isActive() const { return active; }
    // The title while a campaign is sent: the web address, "Tolvik" and the version.
    static QString normalTitle();

  private:
    void showMessage(const std::string& text, const std::string& title) override;

    struct CampaignRow {
        int prio;
        QString name;
        bool sendable;
        bool operator==(const CampaignRow&) const = default;
    };

    void setLabels();
    QMenuBar* makeMenu();
    void countRadios();
    void refreshDisplay();
    void showCampaignState();
    void showDevices();
    void showCounters();
    void showRadioPanel();
    void showPushesInFlight();
    void openStatistics();
    void showCampaigns();
    void startActivity();
    void stopActivity();
    void setNumber(int controlId, int value);
    void clearMemory();
    void showAlert(const QString& text);
    std::vector<CampaignRow> activeCampaigns() const;

    std::unique_ptr<Ui::NyvexDlg> ui;
    std::unique_ptr<CRadioWatch> radioWatch;
    CUserNotice* previousNotice = nullptr;
    QTimer timer;
    QTimer inFlightTimer;
    CStationTick ticker{CStationTick::RadioCheck::never};
    int emptyTicks = 0;
    int radioCount = 0;
    bool active = false;
    bool alertShowing = false;
    QString radioDescription;
    QStringList shownDevices;
    std::vector<CampaignRow> shownCampaigns;
};
