#pragma once
// The station's front end with windows: start-up's messages in message boxes over the window
// in front, the configuration dialog while the settings are incomplete, and the main window
// run again for as long as it ends with OK.

#include "app/station/startup.h"

class CQtStationUi : public CStationUi {
  public:
    // `showWindows` false (the default without a screen): nobody could close a window, so the
    // configuration dialog is not offered and the main window ends at once.
    explicit CQtStationUi(bool showWindows);

    void showMessage(const std::string& text, const std::string& title) override;
    std::optional<int> runConfigurationDialog() override;
    int runMainWindow() override;

  private:
    bool showWindows;
};
