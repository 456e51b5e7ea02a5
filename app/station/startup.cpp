#include "startup.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

#include "app/station/journalfeed.h"
#include "app/station/threadcenter.h"
#include "backoffice/backoffice.h"
#include "campaigns/campaignexception.h"
#include "campaigns/campaignmgr.h"
#include "config/configexceptions.h"
#include "journal/journalsettings.h"
#include "journal/journalstore.h"
#include "memory/manufacturer.h"
#include "platform/files.h"
#include "platform/instance.h"
#include "platform/profile.h"
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

// A save that the process did not live to finish leaves its temporary file beside the file it
// was replacing, as large as that file (the device memory's may be tens of megabytes). Removed
// at every start, before anything writes, so repeated crashes never fill the disk.
void removeInterruptedSaves(const CInit& config) {
    const std::string files[] = {config.settingsPath(), config.dataIniPath(),
                                 config.getString("archfile", false)};
    for (const std::string& file : files) {
        for (const std::string& leftover : platform::removeLeftoverTemporaries(file)) {
            logStartup("removed the leftover of an interrupted save: " + leftover);
        }
    }
}

// A problem that keeps the station from working as set up: in the error log under the
// reporting class, and to the operator.
void reportProblem(CStationUi& ui, const std::string& text, const std::string& classTag) {
    theApp().logError(text, classTag);
    ui.reportProblem(text);
}

// Why the first start started no worker.
std::string idleReason(CThreadCenter& center) {
    if (!center.front()->isLoaded()) {
        return std::string("radio library ") + blto::CBTScanner1::libraryName +
               " not loaded: nothing is scanned or sent";
    }
    if (!center.front()->hasRadio()) {
        return "no radio found: nothing is scanned or sent until a radio is plugged in";
    }
    return std::string("push library ") + btsend::COppComponent::libraryFile +
           " not loaded: nothing is sent";
}

// The first start of the workers; when nothing can start, the operator is told why.
void startWorkers(CThreadCenter& center, CStationUi& ui) {
    const std::string classTag = support::typeTag(&center);
    center.setNoRadioNotice(
        [&center, &ui, classTag] { reportProblem(ui, idleReason(center), classTag); });
    if (!center.front()->isLoaded()) {
        reportProblem(ui, idleReason(center), classTag);
    }
    center.startAll();
}

// The outcome journal beside the settings, keeping the days "journaldays" asks for. It is made
// before the workers start and goes only after every push has ended.
void openJournal(CNyvexApp& app) {
    const CInit& config = *app.config();
    const int days = journal::readJournalDays(config, logStartup);
    app.setJournal(std::make_unique<CJournalFeed>(
        (std::filesystem::path(config.folder()) / journal::journalFileName).string(), days));
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
    removeInterruptedSaves(*app.config());
    app.setCampaigns(std::make_unique<campag::CCampaignMgr>());
    app.campaigns()->loadAll();

    app.setBackOffice(std::make_unique<backo::CBackOffice>());
    app.setUpBackOffice();
    app.backOffice()->rememberedCount();

    openJournal(app);
    app.setThreadCenter(std::make_unique<CThreadCenter>());
    CThreadCenter& center = *app.threadCenter();
    center.front()->createScanner();
    app.backOffice()->setQueues(&center.front()->sightings(), &center.newDevices());
    senderReady(center);
    const std::string path = app.config()->getString("path", true);

    app.setManufacturers(std::make_unique<CManufacturer>());
    app.manufacturers()->open(path + app.config()->getString("manufac", true));

    startWorkers(center, ui);
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
    app.setJournal(nullptr);
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

namespace {

// While start-up runs, messages and problems of the settings files reach the operator through
// `ui`.
class UiConnection {
  public:
    UiConnection(CNyvexApp& app, CStationUi& ui) : app(app) {
        app.setUserNotice(&ui);
        platform::profile::setProblemReport([&ui](const std::string& text) {
            reportProblem(ui, text, support::typeName(typeid(CInit*)));
        });
    }
    ~UiConnection() {
        platform::profile::setProblemReport(nullptr);
        app.setUserNotice(nullptr);
    }
    UiConnection(const UiConnection&) = delete;
    UiConnection& operator=(const UiConnection&) = delete;

  private:
    CNyvexApp& app;
};

// Step 3. Only a lock that another running station holds means "started twice"; a lock that
// cannot be had at all is its own failure.
bool holdSingleInstance(CNyvexApp& app, CStationUi& ui, platform::SingleInstanceLock& lock) {
    switch (lock.acquire(10)) {
        case platform::SingleInstanceLock::Outcome::acquired:
            return true;
        case platform::SingleInstanceLock::Outcome::heldElsewhere:
            logStartup("Started twice.");
            ui.showMessage(alreadyRunningText(app), "");
            return false;
        case platform::SingleInstanceLock::Outcome::unusable:
            break;
    }
    const std::string report = "single-instance lock not usable: " + lock.problem();
    logStartup(report);
    ui.startupFailed(report);
    return false;
}

}  // namespace

bool InitInstance(CStationUi& ui, const StartupOptions& options, int& exitCode) {
    CNyvexApp& app = theApp();
    const UiConnection connection(app, ui);
    exitCode = 1;
    auto instanceLock = std::make_unique<platform::SingleInstanceLock>(options.instanceLockFolder);
    if (!holdSingleInstance(app, ui, *instanceLock)) {
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
        app.setJournal(nullptr);
        return false;
    }
    shutDown(app, instanceLock);
    return false;
}
