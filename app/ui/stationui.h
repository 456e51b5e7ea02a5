#pragma once
// The station's front end with windows: start-up's messages in message boxes over the main
// window, and the main window run again for as long as it ends with OK.

#include "app/station/startup.h"

class CQtStationUi : public CStationUi {
  public:
    void showMessage(const std::string& text, const std::string& title) override;
    int runMainWindow() override;
};
