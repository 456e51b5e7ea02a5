#include "startup.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

#include "app/station/threadcenter.h"
#include "backoffice/backoffice.h"
#include "campaigns/campaignexception.h"
#include "campaigns/campaignmgr.h"
#include "config/configexceptions.h"
#include "memory/manufacturer.h"
#include "platform/instance.h"
#include "platform/system.h"
#include "support/exceptions.h"
#include "support/logentry.h"

namespace {

// Start-up reports under the application's own name.
void logStartup(const std::string& text) {
    theApp().logError(text, support::typeTag(&theApp()));
}

// The texts are loaded only later in start-up, so the refusal reads the text file itself; the
// operator sees a message even when that file is broken.
std::string alreadyRunningText(CNyvexApp& app) {
    std::string text;
    try {
        app.texts().load();
    } catch (const CResoException&) {
    }
    return app.texts().lookup("prog_already_started", text) ? text : "Nyvex is already running.";
}

bool senderReady(CThreadCenter& center) {
    try {
        return center.sender()->isReady();
    } catch (...) {
        return false;
    }
}

// Steps 5 to 11: everything that may throw runs inside the one guarded block.
bool buildAndRun(CNyvexApp& app, CStationUi& ui) {
    app.texts().load();
    app.setConfig(std::make_unique<CInit>());
    while (!app.config()->isComplete()) {
        const std::optional<int> result = ui.runConfigurationDialog();
        if (!result) {
            logStartup("configuration incomplete");
            ui.startupFailed("configuration incomplete");
            return false;
        }
        if (*result != CNyvexApp::dialogOk) {
            return true;  // the operator ended the station before it started
        }
    }
    app.setCampaigns(std::make_unique<campag::CCampaignMgr>());
    app.campaigns()->loadAll();

    app.setBackOffice(std::make_unique<backo::CBackOffice>());
    app.setUpBackOffice();
    app.backOffice()->rememberedCount();

    app.setThreadCenter(std::make_unique<CThreadCenter>());
    CThreadCenter& center = *app.threadCenter();
    center.front()->createScanner();
    app.backOffice()->setQueues(&center.front()->sightings(), &center.newDevices());
    senderReady(center);
    const std::string path = app.config()->getString("path", true);

    app.setManufacturers(std::make_unique<CManufacturer>());
    app.manufacturers()->open(path + app.config()->getString("manufac", true));

    center.startAll();
    while (ui.runMainWindow() == 1) {
    }
    return true;
}

// Shutdown. Every worker is stopped and has ended before any part it uses goes, and the device
// memory is saved once more after the last push worker recorded its device; then the parts are
// deleted in their fixed order.
void shutDown(CNyvexApp& app, std::unique_ptr<platform::SingleInstanceLock>& instanceLock) {
    if (CThreadCenter* center = app.threadCenter()) {
        center->stopAll();
    }
    if (backo::CBackOffice* office = app.backOffice()) {
        office->save();
    }
    app.setConfig(nullptr);
    app.setCampaigns(nullptr);
    app.setManufacturers(nullptr);
    instanceLock.reset();
    app.setBackOffice(nullptr);
    app.setThreadCenter(nullptr);
}

}  // namespace

std::string startupFailureText(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const CNotAKeyException& e) {
        return e.text();
    } catch (const CIniSeriException& e) {
        return e.text();
    } catch (const std::bad_alloc& e) {
        return std::string("memoryex:") + e.what();
    } catch (const std::system_error& e) {  // file-system and stream failures included
        return std::string("fileex:") + e.what();
    } catch (const CArchiveException& e) {
        return std::string("archivex:") + e.what();
    } catch (const CNotSupportedException& e) {
        return std::string("notsuppex:") + e.what();
    } catch (const CResourceException& e) {
        return std::string("resourceex:") + e.what();
    } catch (const campag::CCampaignException& e) {
        return e.text();
    } catch (const CResoException& e) {
        return e.text();
    } catch (...) {
        const int lastError = errno;
        return lastError == 0 ? "caught ...! "
                              : "caught ...! " + platform::systemErrorText(lastError);
    }
}

bool InitInstance(CStationUi& ui, const StartupOptions& options, int& exitCode) {
    CNyvexApp& app = theApp();
    app.setUserNotice(&ui);
    exitCode = 1;
    auto instanceLock = std::make_unique<platform::SingleInstanceLock>(options.instanceLockFolder);
    if (!instanceLock->acquire(10)) {
        logStartup("Started twice.");
        ui.showMessage(alreadyRunningText(app), "");
        return false;
    }
    try {
        if (buildAndRun(app, ui)) {
            exitCode = 0;
        }
    } catch (...) {
        const std::string report = startupFailureText(std::current_exception());
        logStartup(report);
        ui.startupFailed(report);
        // The process ends next: workers already started are stopped so that it ends cleanly.
        if (CThreadCenter* center = app.threadCenter()) {
            center->stopAll();
        }
        if (backo::CBackOffice* office = app.backOffice()) {
            office->save();
        }
        app.setUserNotice(nullptr);
        return false;
    }
    shutDown(app, instanceLock);
    app.setUserNotice(nullptr);
    return false;
}
