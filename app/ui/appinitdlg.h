#pragma once
// The configuration dialog: how many days a served phone is left alone (`duration`) and the
// name under which the station's radio shows up on phones. Start-up shows it while the
// configuration is incomplete; the "configuration" menu command at any time.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "support/ui/resofilter.h"

class CDInterface;

namespace Ui {
class AppInitDlg;
}

class CAppInitDlg : public CResoFilter {
    Q_OBJECT

  public:
    static constexpr int dialogTemplate = 145;
    static constexpr int defaultDays = 5;
    static constexpr int minDays = 1;
    static constexpr int maxDays = 31;
    static constexpr unsigned renameBeepHz = 1234;
    static constexpr unsigned renameBeepMs = 56;
    // The field drawn in light cyan after a name was refused.
    static constexpr QRgb highlightColour = 0xFF64FFFF;  // RGB(100, 255, 255)

    // The name the radio library reports now; none without a radio.
    using RadioNameSource = std::function<std::optional<std::string>()>;

    CAppInitDlg(CDInterface& radioNames, RadioNameSource currentName, QWidget* parent = nullptr);
    ~CAppInitDlg() override;

    void accept() override;
    int highlightId() const { return highlighted; }

  private:
    void setLabels();
    void showSettings();
    void clampDays(int shown);
    void highlight(int controlId);
    QString currentRadioName() const;

    std::unique_ptr<Ui::AppInitDlg> ui;
    CDInterface& radioNames;
    RadioNameSource currentName;
    int highlighted = -10;
};
