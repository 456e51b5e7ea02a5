#pragma once
// The campaign edit dialog: the campaign's name, the name under which phones receive the file,
// the media file and (through the broadcast-time dialogs) its schedule. OK writes the fields
// into the campaign and then checks them, name first; a field that fails is highlighted and the
// dialog stays open. Schedule changes act on the campaign at once.

#include <QPixmap>
#include <QString>
#include <memory>

#include "campaigns/campaign.h"
#include "campaigns/campaignmgr.h"
#include "support/ui/resofilter.h"

namespace Ui {
class InitDlg;
}

namespace campag {

class CInitDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int templateId = 132;
    static constexpr int noHighlight = -10;
    static constexpr const char* backgroundFile = "kampa_1.png";

    // `campaigns` is the manager the campaign belongs to or is made for; `senderName` the local
    // radio's name.
    CInitDlg(CCampaignMgr& campaigns, const QString& senderName, QWidget* parent = nullptr);
    ~CInitDlg() override;

    // The campaign to edit (not owned); the dialog shows its values.
    void setCampaign(CCampaign* campaign);
    // The control number of the field shown as invalid, or noHighlight.
    int highlightedControl() const { return highlightId; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void setTexts();
    void loadBackground();
    void showBroadcastTime();
    void updateOkButton();
    void chooseMediaFile();
    void showFileType(const QString& mediaFile);
    void editBroadcastTime();
    void showNamingHint();
    void confirm();
    // The first field that fails its check (writing the fields first); 0 when all pass.
    int firstInvalidField();
    void highlight(int controlId);

    std::unique_ptr<Ui::InitDlg> ui;
    CCampaignMgr& manager;
    CCampaign* campaign = nullptr;
    QString senderName;
    int highlightId = noHighlight;
    QPixmap background;
};

}  // namespace campag
