#pragma once
// The broadcast-time type of a campaign: always, certain weekdays, certain days of the month or
// one period. A type chosen here takes effect on the campaign at once (its periods go, its
// priority may change); "Details..." opens the dialog for the periods of the chosen type; OK
// saves every campaign.

#include <QButtonGroup>
#include <memory>

#include "campaigns/campaign.h"
#include "campaigns/campaignmgr.h"
#include "support/ui/resofilter.h"

namespace Ui {
class Schedule1Dlg;
}

namespace schedule {

class CSchedule1Dlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int templateId = 147;
    static constexpr unsigned secondAlwaysBeepHz = 700;
    static constexpr unsigned secondAlwaysBeepMs = 30;

    // `campaigns` is the manager the campaign belongs to or is made for; OK saves it.
    explicit CSchedule1Dlg(campag::CCampaignMgr& campaigns, QWidget* parent = nullptr);
    ~CSchedule1Dlg() override;

    // The campaign whose schedule the dialog sets (not owned).
    void setCampaign(campag::CCampaign* campaign);

  private:
    void setTexts();
    void chooseAlways();
    // Beeps, says that only one campaign runs always, and selects certain weekdays instead.
    void refuseSecondAlways();
    // Gives the campaign the selected type, shows the details button of that type only and
    // enables OK unless a scheduled type has no period yet.
    void applySelection();
    void runDetails(int type);
    void confirm();

    std::unique_ptr<Ui::Schedule1Dlg> ui;
    QButtonGroup types;
    campag::CCampaignMgr& manager;
    campag::CCampaign* campaign = nullptr;
    bool wasAlways = false;
};

}  // namespace schedule
