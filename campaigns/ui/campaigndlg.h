#pragma once
// The campaign list: every campaign of the station sorted by priority, with New, Change, Delete
// and moving the chosen campaign up (a smaller priority number) or down. OK saves the list;
// Cancel closes without saving (priority moves stay in memory until the list is next loaded).

#include <QPixmap>
#include <QString>
#include <memory>

#include "campaigns/campaign.h"
#include "campaigns/campaignmgr.h"
#include "support/ui/resofilter.h"

class QTreeWidgetItem;

namespace Ui {
class CampaignDlg;
}

namespace campag {

class CCampaignDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int templateId = 144;
    static constexpr unsigned alwaysLastBeepHz = 888;
    static constexpr unsigned alwaysLastBeepMs = 88;

    // `campaigns` is the station's campaign manager, which the dialog changes; `senderName` the
    // local radio's name, shown by the edit dialog.
    CCampaignDlg(CCampaignMgr& campaigns, const QString& senderName, QWidget* parent = nullptr);
    ~CCampaignDlg() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void setTexts();
    void fillList();
    void sortRows();
    void rowClicked(QTreeWidgetItem* row);
    void showDetails(bool shown);
    void newCampaign();
    void changeCampaign();
    void deleteCampaign();
    void moveUp();
    void moveDown();
    // Swaps the priorities of the campaigns of rows `first` and `second`, `first` taking the
    // other's first; false (nothing changed) when the rules forbid it.
    bool swapPriorities(int first, int second);
    // The row chosen in the list, or -1 (the caption then says that none is).
    int chosenRow();
    CCampaign* campaignAt(int row) const;
    // Runs the edit dialog on `campaign`; true when it ended with OK.
    bool edit(CCampaign* campaign);
    void saveAndClose();

    std::unique_ptr<Ui::CampaignDlg> ui;
    CCampaignMgr& manager;
    QString senderName;
    QPixmap sendableIcon;
    QPixmap notSendableIcon;
    CCampaign* selected = nullptr;
    bool columnsSized = false;
};

}  // namespace campag
