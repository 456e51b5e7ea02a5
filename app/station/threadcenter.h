#pragma once
// The thread center decides which workers run: the scanner, the back office, the job machine and
// the sender. Callers set switches (pause, setScan) and then apply(); radios that come and go
// (checkRadio) and campaign periods that start or end are taken into account by apply().

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "discovery/discoveryfront.h"
#include "discovery/sightingqueue.h"
#include "sending/jobmachine.h"
#include "sending/sender.h"

class CAbstractState {
  public:
    virtual ~CAbstractState() = default;
    virtual void apply() = 0;
};

// The operator's on/off switches, one per worker.
class CThreadState : public CAbstractState {
  public:
    // Starts the workers whose switch is on and stops the others, in a fixed order.
    int applySwitches();

  protected:
    virtual void runScanner(bool on) = 0;
    virtual void runBackOffice(bool on) = 0;
    virtual void runSender(bool on) = 0;
    virtual void runJobMachine(bool on) = 0;

    bool scanOn = true;
    bool backOfficeOn = true;
    bool jobMachineOn = true;
    bool senderOn = true;
    // What applySwitches() reports. Starting and stopping workers cannot fail here (a worker
    // that cannot start simply does not run), so it stays 0; it is kept as the answer the
    // switches have always given.
    int result = 0;
};

// The conditions that overrule the switches: a radio must be present and a campaign active.
class CStateImpact : public CThreadState {
  protected:
    bool radioPresent = true;
    // The outcome of apply()'s last campaign check. apply() decides on it at once; nothing
    // reads it later, it records the state the workers were last set for.
    bool campaignActive = false;
    // apply() re-runs the switches only through the campaign check, so that pausing around the
    // tool dialogs and campaign periods that start or end take effect.
    bool applyOnChange = false;
    bool checkCampaigns = true;
};

class CThreadCenter : public CStateImpact {
  public:
    // Above the longest turn either worker can be in when the pause comes: the dispatcher's
    // lock waits add up to 2032 ms (counters 2 x 555, job list 379, radio 543), the job
    // machine's to 645 ms (new-device queue 300, job list 345) and one campaign choice.
    static constexpr std::chrono::milliseconds toolPauseWait{2956};

    // The radio and push libraries by file name (tests name others).
    explicit CThreadCenter(const std::string& radioLibrary = blto::CBTScanner1::libraryName,
                           const std::string& pushLibrary = btsend::COppComponent::libraryFile);
    ~CThreadCenter() override;
    CThreadCenter(const CThreadCenter&) = delete;
    CThreadCenter& operator=(const CThreadCenter&) = delete;

    blto::CBtoh* front() { return frontPart.get(); }
    btsend::CBtSender* sender() { return senderPart.get(); }
    CArrSyncMgr& newDevices() { return newDeviceQueue; }
    btsend::CJobMachine& jobMachine() { return *jobMachinePart; }

    // First start, once, by start-up. Calls `noRadio` when no radio or no push library is there.
    void startAll();
    int checkRadio();
    void pause(bool on);
    // The pause around a tool dialog that changes the campaigns: pause(true) and apply(), then a
    // wait until the job machine and the dispatcher have ended their last turn, at most
    // toolPauseWait in all, so that no worker is inside the campaign manager while the dialog
    // changes it. Pushes in flight go on (their jobs keep their own copy of the campaign), so
    // the operator never waits for a slow phone. False when a worker did not end in time.
    // Resume with pause(false) and apply().
    bool pauseAndWait();
    void setScan(bool on);
    void apply() override;
    std::string statusText();

    // What the main window does on "no radio or no sender" (it stops its activity display).
    void setNoRadioNotice(std::function<void()> notice) { noRadioNotice = std::move(notice); }
    // Stops every worker and waits until each has ended (shutdown).
    void stopAll();

  protected:
    void runScanner(bool on) override;
    void runBackOffice(bool on) override;
    void runSender(bool on) override;
    void runJobMachine(bool on) override;

  private:
    bool hasActiveCampaign() const;
    void stopAllButScanner();
    void nameRadioInJournal();
    // Runs `start`. A worker whose thread the system cannot create does not run: that is
    // logged, and the next apply() tries again.
    void startWorker(const char* worker, const std::function<void()>& start);

    CArrSyncMgr newDeviceQueue;
    std::unique_ptr<blto::CBtoh> frontPart;
    std::unique_ptr<btsend::CBtSender> senderPart;
    std::unique_ptr<btsend::CJobMachine> jobMachinePart;
    std::function<void()> noRadioNotice;
};
