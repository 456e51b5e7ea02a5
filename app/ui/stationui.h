#pragma once
// The station's front end with windows: start-up's messages and the station's problems in
// message boxes over the window in front, the configuration dialog while the settings are
// incomplete, and the main window run again for as long as it ends with OK.

#include <optional>
#include <string>

#include "app/station/startup.h"
#include "support/ui/userdialogs.h"

class CQtStationUi : public CStationUi {
  public:
    // `withWindows` false (no screen: offscreen or minimal platform): nobody could close a
    // window, so every text goes to stderr instead, the configuration dialog is not offered and
    // the main window ends at once. While the object lives, problems that cannot even be logged
    // are shown as well.
    explicit CQtStationUi(bool withWindows = hasScreen());
    ~CQtStationUi() override;
    CQtStationUi(const CQtStationUi&) = delete;
    CQtStationUi& operator=(const CQtStationUi&) = delete;

    void showMessage(const std::string& text, const std::string& title) override;
    // A warning box with a beep. Safe from any thread: the box opens on the window's thread once
    // its event loop runs, and the caller never waits for it.
    void reportProblem(const std::string& text) override;
    std::optional<int> runConfigurationDialog() override;
    int runMainWindow() override;

  private:
    bool windows;
};
