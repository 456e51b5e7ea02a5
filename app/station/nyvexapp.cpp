#include "nyvexapp.h"

#include <iostream>

#include "app/station/journalfeed.h"
#include "app/station/threadcenter.h"
#include "backoffice/backoffice.h"
#include "campaigns/campaignmgr.h"
#include "memory/manufacturer.h"
#include "support/logentry.h"
#include "support/texts.h"

CNyvexApp::CNyvexApp() = default;

CNyvexApp::~CNyvexApp() {
    deleteParts();
}

void CNyvexApp::deleteParts() {
    campaignPart.reset();
    manufacturerPart.reset();
    backOfficePart.reset();
    threadCenterPart.reset();
    journalPart.reset();
}

bool CNyvexApp::logError(const std::string& text, const std::string& classTag) {
    return support::logError(text, classTag);
}

std::string CNyvexApp::text(const std::string& key) {
    return support::text(key);
}

CInit CNyvexApp::configCopy() const {
    return config::configCopy();
}

CResoMap& CNyvexApp::texts() {
    return support::texts();
}

std::optional<std::string> CNyvexApp::radioName() const {
    CThreadCenter* center = threadCenter();
    blto::CBTScanner1* scanner = center != nullptr ? center->front()->scanner() : nullptr;
    std::optional<std::string> name = scanner != nullptr ? scanner->radioName() : std::nullopt;
    if (name && journalPart) {
        journalPart->setRadio(*name);
    }
    return name;
}

CInit* CNyvexApp::config() const {
    return config::current();
}

void CNyvexApp::setConfig(std::unique_ptr<CInit> configuration) {
    config::setConfig(std::move(configuration));
}

void CNyvexApp::setBackOffice(std::unique_ptr<backo::CBackOffice> part) {
    backOfficePart = std::move(part);
}

void CNyvexApp::setThreadCenter(std::unique_ptr<CThreadCenter> part) {
    threadCenterPart = std::move(part);
}

void CNyvexApp::setManufacturers(std::unique_ptr<CManufacturer> part) {
    manufacturerPart = std::move(part);
}

void CNyvexApp::setCampaigns(std::unique_ptr<campag::CCampaignMgr> part) {
    campaignPart = std::move(part);
}

void CNyvexApp::setJournal(std::unique_ptr<CJournalFeed> part) {
    journalPart = std::move(part);
}

platform::TimedMutex& CNyvexApp::logLockForTest() {
    return support::logLock();
}

void CNyvexApp::showMessage(const std::string& text, const std::string& title) {
    if (userNotice) {
        userNotice->showMessage(text, title);
        return;
    }
    CUserNotice::showOnConsole(text, title);
}

bool CNyvexApp::runToolCommand(ToolCommand command, const ToolDialog& dialog) {
    if (command == ToolCommand::configuration) {
        if (dialog() == dialogOk && backOffice() != nullptr) {
            setUpBackOffice();
        }
        return true;
    }
    CThreadCenter* center = threadCenter();
    if (center == nullptr || center->checkRadio() < 1) {
        showMessage(text("dongle_missing"), "Tolvik");
        return false;
    }
    // The workers resume however the dialog ends.
    struct Resume {
        CThreadCenter& center;
        ~Resume() {
            center.pause(false);
            center.apply();
        }
    } resume{*center};
    if (command != ToolCommand::campaigns) {
        center->pause(true);
        center->apply();
    } else if (!pauseForCampaignChanges(*center)) {
        return false;
    }
    dialog();
    return true;
}

bool CNyvexApp::pauseForCampaignChanges(CThreadCenter& center) {
    // The campaign dialog changes and deletes campaigns: it opens only once the job machine and
    // the dispatcher are out of the campaign manager. The jobs are deleted after that, so that
    // no job made just before the pause sends a campaign the operator changes.
    if (!center.pauseAndWait()) {
        logError("campaigns not opened: the workers did not pause in time", support::typeTag(this));
        showMessage(text("workers_busy_try_again"), "Tolvik");
        return false;
    }
    center.sender()->clearJobs();
    return true;
}

void CNyvexApp::setUpBackOffice() {
    const CInit settings = configCopy();
    backo::CBackOffice& office = *backOffice();
    office.configure(settings.getInt("duration", true), settings.getInt("politemode", false) != 0,
                     settings.getInt("testmode", false) != 0);
    office.loadBlockedAddresses();
    if (!office.openStore(settings.getString("archfile", true))) {
        logError("err while setting up store", support::typeTag(this));
    }
}

void CUserNotice::showOnConsole(const std::string& text, const std::string& title) {
    std::cerr << (title.empty() ? "" : title + ": ") << text << std::endl;
}

CNyvexApp& theApp() {
    static CNyvexApp app;
    return app;
}
