#pragma once
// The one application object: it owns the long-lived parts of the station and offers every
// thread the error log, the operator texts and a private copy of the configuration. Those three
// services live below every subsystem (support/logentry.h, support/texts.h,
// config/configstore.h); the application object hands its callers on to them.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/station/radioname.h"
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
class CJournalFeed;

// How the station shows a message to the operator: a message box in the GUI, stderr headless.
class CUserNotice {
  public:
    virtual ~CUserNotice() = default;
    virtual void showMessage(const std::string& text, const std::string& title) = 0;
    static void showOnConsole(const std::string& text, const std::string& title);
};

// The tool commands of the main window's menu, by their command numbers.
enum class ToolCommand {
    rangeTest = 32771,
    configuration = 32772,
    blockingList = 32773,
    campaigns = 32777,
};

// A tool command's dialog: runs it modally and returns its result (1 for OK).
using ToolDialog = std::function<int()>;

class CNyvexApp {
  public:
    static constexpr int dialogOk = 1;

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

    // Runs a tool command around its dialog. The range test, blocking list and campaigns need a
    // radio: without one only "dongle_missing" is shown and nothing else happens (false).
    // Otherwise the back office, the job machine and the sender are paused while the dialog runs
    // and resumed after it; for the campaigns the pause also waits until no worker is inside the
    // campaign manager and then empties the job list (pauseForCampaignChanges). The
    // configuration command runs its dialog without radio check or pause and, after OK, sets
    // the back office up again from the settings.
    bool runToolCommand(ToolCommand command, const ToolDialog& dialog);
    // Pauses the workers for the campaign dialog and waits until none is inside the campaign
    // manager, then empties the job list; false (logged and shown) when they did not pause in
    // time.
    bool pauseForCampaignChanges(CThreadCenter& center);
    // The back office takes the settings, the blocked addresses and its device memory file (a
    // file that cannot be opened is logged as "err while setting up store").
    void setUpBackOffice();

    CResoMap& texts();
    // Reads the radio's description and gives the radio its local name.
    CDInterface& radioNameService() { return radioNames; }
    // The radio's name as the radio library reports it now; none without a radio (or before
    // start-up bound the library). A name found is also the radio later journal entries name.
    std::optional<std::string> radioName() const;
    CInit* config() const;
    backo::CBackOffice* backOffice() const { return backOfficePart.get(); }
    CThreadCenter* threadCenter() const { return threadCenterPart.get(); }
    CManufacturer* manufacturers() const { return manufacturerPart.get(); }
    campag::CCampaignMgr* campaigns() const { return campaignPart.get(); }
    // The outcome journal's feed; none before start-up made it and after shutdown.
    CJournalFeed* journal() const { return journalPart.get(); }

    // Start-up and shutdown hand the parts in and take them out again (nullptr deletes the
    // part), in their fixed order. Tests hand parts in through testing_support::RegisteredPart,
    // which takes them out again on every path.
    void setConfig(std::unique_ptr<CInit> config);
    void setBackOffice(std::unique_ptr<backo::CBackOffice> part);
    void setThreadCenter(std::unique_ptr<CThreadCenter> part);
    void setManufacturers(std::unique_ptr<CManufacturer> part);
    void setCampaigns(std::unique_ptr<campag::CCampaignMgr> part);
    void setJournal(std::unique_ptr<CJournalFeed> part);
    void setUserNotice(CUserNotice* notice) { userNotice = notice; }
    CUserNotice* currentUserNotice() const { return userNotice; }
    // The log lock itself, so tests can hold it.
    platform::TimedMutex& logLockForTest();

  private:
    // Deletes the parts still there in shutdown's order (only a failed start-up leaves any).
    void deleteParts();

    CDInterface radioNames;
    std::unique_ptr<backo::CBackOffice> backOfficePart;
    std::unique_ptr<CThreadCenter> threadCenterPart;
    std::unique_ptr<CManufacturer> manufacturerPart;
    std::unique_ptr<campag::CCampaignMgr> campaignPart;
    std::unique_ptr<CJournalFeed> journalPart;
    CUserNotice* userNotice = nullptr;
};

CNyvexApp& theApp();
