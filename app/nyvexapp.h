#pragma once
// The one application object: it owns the long-lived parts of the station and offers every
// thread the error log, the operator texts and a private copy of the configuration.

#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>

#include "app/init.h"
#include "support/resomap.h"

namespace backo {
class CBackOffice;
}
namespace campag {
class CCampaignMgr;
}
class CThreadCenter;
class CManufacturer;

// The reporting class as the error log names it: the demangled type of a pointer to it.
std::string typeName(const std::type_info& type);
template <typename T>
std::string typeTag(T* self) {
    return typeName(typeid(self));
}

// How the station shows a message to the operator: a message box in the GUI, stderr headless.
class CUserNotice {
  public:
    virtual ~CUserNotice() = default;
    virtual void showMessage(const std::string& text, const std::string& title) = 0;
    static void showOnConsole(const std::string& text, const std::string& title);
};

class CNyvexApp {
  public:
    static constexpr int logLockWaitMs = 3856;

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

    CResoMap& texts() { return textMap; }
    CInit* config() const { return configuration.get(); }
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
    std::timed_mutex& logLockForTest() { return logLock; }

  private:
    CResoMap textMap;
    std::unique_ptr<CInit> configuration;
    backo::CBackOffice* backOfficePart = nullptr;
    CThreadCenter* threadCenterPart = nullptr;
    CManufacturer* manufacturerPart = nullptr;
    campag::CCampaignMgr* campaignPart = nullptr;
    CUserNotice* userNotice = nullptr;
    std::timed_mutex logLock;
};

CNyvexApp& theApp();
