#pragma once
// The station's front end with windows: start-up's messages and the station's problems in
// message boxes over the main window, and the main window run again for as long as it ends
// with OK.

#include <string>

#include "app/station/startup.h"
#include "support/ui/userdialogs.h"

class CQtStationUi : public CStationUi {
  public:
    // `withBoxes` false (no screen: offscreen or minimal platform): nobody could close a box, so
    // every text goes to stderr instead and the station never waits on an invisible dialog.
    // While the object lives, problems that cannot even be logged are shown as well.
    explicit CQtStationUi(bool withBoxes = hasScreen());
    ~CQtStationUi() override;
    CQtStationUi(const CQtStationUi&) = delete;
    CQtStationUi& operator=(const CQtStationUi&) = delete;

    void showMessage(const std::string& text, const std::string& title) override;
    // A warning box with a beep. Safe from any thread: the box opens on the window's thread once
    // its event loop runs, and the caller never waits for it.
    void reportProblem(const std::string& text) override;
    int runMainWindow() override;

  private:
    bool boxes;
};
