#include "tooldialogs.h"

#include "app/station/threadcenter.h"
#include "app/ui/appinitdlg.h"
#include "backoffice/ui/nogodlg.h"
#include "campaigns/ui/campaigndlg.h"
#include "sending/ui/rangetestdlg.h"
#include "support/ui/displaytext.h"

namespace {

// The local radio's name, which the campaign edit dialog shows as the sender.
QString radioName() {
    CThreadCenter* center = theApp().threadCenter();
    blto::CBTScanner1* scanner = center != nullptr ? center->front()->scanner() : nullptr;
    const std::optional<std::string> name =
        scanner != nullptr ? scanner->radioName() : std::nullopt;
    return name ? displayText(QString::fromStdString(*name)) : QString();
}

int runCampaigns(QWidget* parent) {
    campag::CCampaignMgr* campaigns = theApp().campaigns();
    if (campaigns == nullptr) {
        return 0;
    }
    return campag::CCampaignDlg(*campaigns, radioName(), parent).exec();
}

// One line per tool dialog, for instance
//   dialogs.set(ToolCommand::blockingList, [](QWidget* parent) { return CNoGoDlg(parent).exec();
//   });
void registerProgramDialogs(CToolDialogs& dialogs) {
    dialogs.set(ToolCommand::campaigns, runCampaigns);
    dialogs.set(ToolCommand::rangeTest, [](QWidget* parent) {
        return CRangeTestDlg(*theApp().threadCenter(), parent).exec();
    });
    dialogs.set(ToolCommand::blockingList, [](QWidget* parent) {
        return CNoGoDlg(*theApp().threadCenter()->front(), *theApp().backOffice(), parent).exec();
    });
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
