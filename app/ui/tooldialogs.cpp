#include "tooldialogs.h"

#include "app/ui/appinitdlg.h"

namespace {

// One line per tool dialog, for instance
//   dialogs.set(ToolCommand::blockingList, [](QWidget* parent) { return CNoGoDlg(parent).exec();
//   });
void registerProgramDialogs(CToolDialogs& dialogs) {
    dialogs.set(ToolCommand::configuration, [](QWidget* parent) {
        return CAppInitDlg(
                   theApp().radioNameService(), [] { return theApp().radioName(); }, parent)
            .exec();
    });
}

}  // namespace

CToolDialogs& CToolDialogs::program() {
    static CToolDialogs dialogs = [] {
        CToolDialogs registered;
        registerProgramDialogs(registered);
        return registered;
    }();
    return dialogs;
}

ToolDialogFactory CToolDialogs::set(ToolCommand command, ToolDialogFactory factory) {
    ToolDialogFactory previous = has(command) ? factories[command] : ToolDialogFactory();
    if (factory) {
        factories[command] = std::move(factory);
    } else {
        factories.erase(command);
    }
    return previous;
}

bool CToolDialogs::has(ToolCommand command) const {
    return factories.contains(command);
}

bool CToolDialogs::run(ToolCommand command, QWidget* parent) const {
    const auto found = factories.find(command);
    if (found == factories.end()) {
        return false;
    }
    const ToolDialogFactory& factory = found->second;
    return theApp().runToolCommand(command, [&] { return factory(parent); });
}
