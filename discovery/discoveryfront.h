#pragma once
// The discovery front: owns the scanner, the queue of what the last inquiry found and the radio
// lock that keeps inquiries and pushes apart. The thread center owns the front; the back office
// drains its sightings, the main window and the dialogs read copies of them.

#include <functional>
#include <memory>
#include <string>

#include "discovery/scanner.h"
#include "discovery/sightingqueue.h"
#include "platform/timedmutex.h"

class CManufacturer;

namespace blto {

// Where the scanner finds the manufacturer table when it needs one.
using ManufacturerSource = std::function<CManufacturer*()>;

class CBtoh {
  public:
    // `newDevices` is the thread center's new-device queue (the scanner's backlog);
    // `radioLibrary` the radio library's file name.
    explicit CBtoh(CArrSyncMgr& newDevices, std::string radioLibrary = CBTScanner1::libraryName);
    virtual ~CBtoh();
    CBtoh(const CBtoh&) = delete;
    CBtoh& operator=(const CBtoh&) = delete;

    // Replaces the scanner (stopping and joining the old one) and binds the radio library;
    // true when the new scanner is loaded. Never throws: on any failure there is no scanner.
    bool createScanner();
    // A scanner exists and its library is (still) bound.
    bool isLoaded() const;
    // The number of local radios; 0 without a scanner.
    int countRadios();
    bool hasRadio() { return countRadios() > 0; }

    // Starts the scanner's worker when the scanner is loaded.
    void startScan();
    void stopScan();
    // Stops the scanner's worker and waits until it has ended.
    void stopAndJoinScan();
    bool isScanRunning() const;

    // Where the scanner finds the manufacturer table for each fetch (null while there is
    // none: every maker then reads "?"). Set it before the scanner starts.
    void setManufacturers(ManufacturerSource source) { manufacturerSource = std::move(source); }
    CManufacturer* manufacturers() const {
        return manufacturerSource ? manufacturerSource() : nullptr;
    }

    CBTScanner1* scanner() { return scannerPart.get(); }
    platform::TimedMutex& radioLock() { return radio; }
    CArrSyncMgr& sightings() { return sightingQueue; }

    // A copy of the sighting at `index` (the caller owns it), or none.
    CArrSyncMgr::Sighting sightingAt(int index) { return sightingQueue.copyAt(index); }
    // The newest sighting, taken out of the list, or none.
    CArrSyncMgr::Sighting takeSighting() { return sightingQueue.takeLast(); }
    int sightingCount() { return sightingQueue.count(); }

    // Replaces the list with what the last inquiry found in its `n` slots; the number of
    // devices counted (a device delivered twice counts twice, the list holds it once).
    int collect(int n);

  private:
    void dropScanner();

    CArrSyncMgr& newDeviceQueue;
    std::string libraryFile;
    ManufacturerSource manufacturerSource;
    CArrSyncMgr sightingQueue;
    platform::TimedMutex radio;
    // Last, so that it goes first: its worker uses the queue and the lock above.
    std::unique_ptr<CBTScanner1> scannerPart;
};

}  // namespace blto
