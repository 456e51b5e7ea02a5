#pragma once
// The scanner worker: runs inquiries through the radio library for as long as it runs, hands
// what each inquiry found to the discovery front, and paces itself so that an idle station costs
// little. It waits while the job machine still has new devices to handle, and takes the radio
// lock (shared with the push senders) around each inquiry, so that an inquiry and a push never
// overlap.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "binding/librarybinding.h"
#include "discovery/inquirylength.h"
#include "libs/include/btrecords.h"
#include "libs/include/radiox.h"
#include "worker/workerbase.h"

class CArrSyncMgr;

namespace blto {

class CBtoh;

class CBTScanner1 : public CDllComp, public CBlueSync {
  public:
    static constexpr const char* libraryName = "libRadiox.so";
    static constexpr std::chrono::milliseconds startPause{1000};
    static constexpr std::chrono::milliseconds passPause{11};
    static constexpr std::chrono::milliseconds radioLockWait{300};

    // Binds the radio library `libraryFile` (a bare name is looked for beside the program
    // first); the scanner is loaded only when the library has scandevices, getBTData and
    // getMaSe. `front` receives the sightings; `newDevices` is the thread center's queue, whose
    // backlog holds the scanner back.
    CBTScanner1(CBtoh& front, CArrSyncMgr& newDevices,
                const std::string& libraryFile = libraryName);
    ~CBTScanner1() override;

    // Starts the worker with the radio lock `lock`; false when it is running already.
    bool start(platform::TimedMutex* lock);

    // The number of local radios; 0 when the library lacks the export.
    int countDongles();
    // The name of the radio enumerated last; none without a radio or the exports. While the
    // worker's inquiry holds the radio, the name found before.
    std::optional<std::string> radioName();
    // A copy of the radio record of the radio enumerated last (fetched when there is none yet);
    // none without a radio. radioName() and radioInfo() belong to the controlling thread.
    std::optional<NyvexRadioRecord> radioInfo();
    // The radio's address in colon form, or the empty text without a radio.
    std::string radioAddress();

    int inquiryLength() { return length.get(); }
    // The sighting record of the first device from slot `index` on whose manufacturer is not
    // blocked, with its manufacturer name; none when the slots end or the export is missing.
    std::unique_ptr<NyvexSighting> fetch(int index);

    // How many passes the worker has made and how many inquiries it has begun (diagnostics).
    int passCount() const { return passes; }
    int inquiryCount() const { return inquiries; }

    // The pause after an inquiry that filled `slots` slots, and the pause while the job
    // machine has `backlog` new devices waiting.
    static std::chrono::milliseconds pauseAfterInquiry(int slots);
    static std::chrono::milliseconds pauseForBacklog(int backlog);

  private:
    void run();
    void scanPasses();
    // One inquiry under the radio lock, then the collection; the number of slots filled (0
    // when the radio lock was busy).
    int inquire(radiox::ScanDevicesFunction& scandevices);
    std::unique_ptr<NyvexSighting> copyOf(const NyvexDeviceRecord& found);

    CBtoh& front;
    CArrSyncMgr& newDevices;
    CInquiryLength length;
    std::optional<NyvexRadioRecord> radioRecord;
    std::atomic<int> passes{0};
    std::atomic<int> inquiries{0};
};

}  // namespace blto
