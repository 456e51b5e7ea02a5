#pragma once
// The one application object: it owns the long-lived parts of the station and offers every
// thread the error log, the operator texts and a private copy of the configuration. Those three
// services live below every subsystem (support/logentry.h, support/texts.h,
// config/configstore.h); the application object hands its callers on to them.

#include <memory>
#include <string>

#include "config/configstore.h"
#include "platform/timedmutex.h"
#include "support/resomap.h"

namespace backo {
class CBackOffice;
}
namespace campag {
class CCampaignMgr;
}
class CThreadCenter;
class CManufacturer;

// How the station shows a message to the operator: a message box in the GUI, stderr headless.
class CUserNotice {
  public:
    virtual ~CUserNotice() = default;
    virtual void showMessage(const std::string& text, const std::string& title) = 0;
    static void showOnConsole(const std::string& text, const std::string& title);
};

class CNyvexApp {
  public:
    CNyvexApp();
    ~CNyvexApp();
    CNyvexApp(const CNyvexApp&) = delete;
    CNyvexApp& operator=(const CNyvexApp&) = delete;

    // One error-log entry; false (and the entry dropped) when the log lock is not had in time.
    bool logError(const std::string& text, const std::string& classTag);
    // The operator text of `key`; a missing key is logged and gives the empty text.
    std::string text(const std::string& key);
    // A copy of the configuration for the caller's own use; throws CIniSeriException before
    // start-up created the configuration.
    CInit configCopy() const;
    void showMessage(const std::string& text, const std::string& title = "");

    CResoMap& texts();
    CInit* config() const;
    backo::CBackOffice* backOffice() const { return backOfficePart; }
    CThreadCenter* threadCenter() const { return threadCenterPart; }
    CManufacturer* manufacturers() const { return manufacturerPart; }
    campag::CCampaignMgr* campaigns() const { return campaignPart; }

    // Start-up and shutdown (and tests) set the parts; the caller keeps ownership rules of
    // start-up: the parts are deleted by shutdown in its fixed order.
    void setConfig(std::unique_ptr<CInit> config);
    void setBackOffice(backo::CBackOffice* part) { backOfficePart = part; }
    void setThreadCenter(CThreadCenter* part) { threadCenterPart = part; }
    void setManufacturers(CManufacturer* part) { manufacturerPart = part; }
    void setCampaigns(campag::CCampaignMgr* part) { campaignPart = part; }
    void setUserNotice(CUserNotice* notice) { userNotice = notice; }
    // The log lock itself, so tests can hold it.
    platform::TimedMutex& logLockForTest();

  private:
    backo::CBackOffice* backOfficePart = nullptr;
    CThreadCenter* threadCenterPart = nullptr;
    CManufacturer* manufacturerPart = nullptr;
    campag::CCampaignMgr* campaignPart = nullptr;
    CUserNotice* userNotice = nullptr;
};

CNyvexApp& theApp();
