#pragma once
// The dialogs of the main window's tool commands, one factory per command. The factory builds
// the dialog with the parts it works on, runs it modally over `parent` and returns its result;
// the application object runs it inside the command's radio check and the workers' pause
// (CNyvexApp::runToolCommand). A command without a dialog is not offered in the menu.

#include <QWidget>
#include <functional>
#include <map>

#include "app/station/nyvexapp.h"

using ToolDialogFactory = std::function<int(QWidget* parent)>;

class CToolDialogs {
  public:
    // The program's dialogs: those tooldialogs.cpp registers.
    static CToolDialogs& program();

    // Sets the dialog of `command` (an empty factory removes it); returns the one it replaces.
    ToolDialogFactory set(ToolCommand command, ToolDialogFactory factory);
    bool has(ToolCommand command) const;
    // Runs `command` over `parent` through the application object; false when the command has
    // no dialog or did not run it (no radio).
    bool run(ToolCommand command, QWidget* parent) const;

  private:
    std::map<ToolCommand, ToolDialogFactory> factories;
};
