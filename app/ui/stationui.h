#pragma once
// The window's side of the station: messages and problems as message boxes.

#include <string>

#include "app/station/startup.h"

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

    static bool hasScreen();

  private:
    bool boxes;
};
