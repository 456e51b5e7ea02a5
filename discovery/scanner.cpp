#include "scanner.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "discovery/discoveryfront.h"
#include "discovery/sightingqueue.h"
#include "memory/manufacturer.h"
#include "memory/nameblocker.h"
#include "memory/recordtexts.h"
#include "platform/btaddress.h"
#include "platform/system.h"
#include "platform/text.h"
#include "support/logentry.h"

namespace blto {

namespace {

constexpr std::chrono::milliseconds pausePerSlot{251};
constexpr std::chrono::milliseconds pausePerNewDevice{477};
// Room for the manufacturer name in a sighting, leaving one unit for the end mark.
constexpr std::size_t manufacturerUnits =
    sizeof(NyvexSighting::manufacturerName) / sizeof(char16_t) - 1;

void putManufacturer(NyvexSighting& record, const std::string& name) {
    const std::u16string wide = platform::toUtf16(name);
    const std::size_t units = std::min(wide.size(), manufacturerUnits);
    std::copy_n(wide.begin(), units, record.manufacturerName);
    record.manufacturerName[units] = u'\0';
}

}  // namespace

CBTScanner1::CBTScanner1(CBtoh& front, CArrSyncMgr& newDevices, const std::string& libraryFile)
    : CDllComp(libraryFile, {"scandevices", "getBTData", "getMaSe"}),
      front(front),
      newDevices(newDevices) {}

CBTScanner1::~CBTScanner1() {
    // The worker calls into the library and the front: it ends before either goes.
    stopAndJoin();
}

bool CBTScanner1::start(platform::TimedMutex* lock) {
    if (!CBlueSync::start(lock)) {
        return false;
    }
    launch([this] { run(); });
    return true;
}

int CBTScanner1::countDongles() {
    auto* count = exportNamed<radiox::CountDonglesFunction>("countDongles");
    return count ? count() : 0;
}

std::optional<std::string> CBTScanner1::radioName() {
    auto* count = exportNamed<radiox::CountDonglesFunction>("countDongles");
    auto* info = exportNamed<radiox::GetDongInfFunction>("getDongInf");
    if (count == nullptr || info == nullptr) {
        return std::nullopt;
    }
    // The library rewrites the record it hands out on every count, the worker's inquiries
    // among them: count and copy under the radio lock. While the radio is busy the copy made
    // before is the answer, so the caller never waits for an inquiry.
    platform::TimedMutex* shared = lockForRadio();
    std::unique_lock<platform::TimedMutex> radio;
    if (shared != nullptr) {
        radio = std::unique_lock(*shared, std::try_to_lock);
    }
    if (shared == nullptr || radio.owns_lock()) {
        const NyvexRadioRecord* found = count() > 0 ? info() : nullptr;
        if (found == nullptr) {
            radioRecord.reset();
        } else {
            radioRecord = *found;
        }
    }
    if (!radioRecord) {
        return std::nullopt;
    }
    const char16_t* name = radioRecord->name;
    const std::size_t units = std::find(name, name + std::size(radioRecord->name), u'\0') - name;
    return platform::toUtf8(std::u16string_view(name, units));
}

std::optional<NyvexRadioRecord> CBTScanner1::radioInfo() {
    if (!radioRecord) {
        radioName();
    }
    return radioRecord;
}

std::string CBTScanner1::radioAddress() {
    const std::optional<NyvexRadioRecord> info = radioInfo();
    if (!info) {
        return "";
    }
    return platform::btaddress::withColons(info->address);
}

std::chrono::milliseconds CBTScanner1::pauseAfterInquiry(int slots) {
    // The slot count is taken as a 16-bit value, as the radio platform reports it.
    return static_cast<std::int16_t>(slots) * pausePerSlot + std::chrono::milliseconds(1);
}

std::chrono::milliseconds CBTScanner1::pauseForBacklog(int backlog) {
    return backlog * pausePerNewDevice;
}

void CBTScanner1::run() {
    try {
        scanPasses();
    } catch (const std::bad_alloc&) {
        support::logError("memory ex", support::typeTag(this));
        stop();
    } catch (...) {
        support::logError(platform::systemErrorText(errno), support::typeTag(this));
        stop();
    }
}

void CBTScanner1::scanPasses() {
    // A stop during a pause ends the worker at once rather than after one more inquiry.
    if (!pause(startPause)) {
        return;
    }
    while (pause(passPause)) {
        auto* scandevices = exportNamed<radiox::ScanDevicesFunction>("scandevices");
        if (scandevices == nullptr) {
            stop();  // the library lost its export: the scanner is no longer loaded
            return;
        }
        const int backlog = newDevices.count();
        if (backlog + front.sightingCount() < 1) {
            pause(pauseAfterInquiry(inquire(*scandevices)));
        } else {
            // The back office and the job machine still have sightings to handle.
            pause(pauseForBacklog(backlog));
        }
        ++passes;
    }
}

int CBTScanner1::inquire(radiox::ScanDevicesFunction& scandevices) {
    std::unique_lock<platform::TimedMutex> radio;
    if (platform::TimedMutex* shared = lockForRadio()) {
        radio = std::unique_lock(*shared, std::defer_lock);
        if (!radio.try_lock_for(radioLockWait)) {
            return 0;  // a push holds the radio; try again after a short pause
        }
    }
    ++inquiries;
    const int slots = scandevices(length.get());
    if (radio.owns_lock()) {
        radio.unlock();
    }
    length.adjust(front.collect(slots));
    return slots;
}

std::unique_ptr<NyvexSighting> CBTScanner1::fetch(int index) {
    auto* getBTData = exportNamed<radiox::GetBTDataFunction>("getBTData");
    if (getBTData == nullptr) {
        return nullptr;
    }
    // Read afresh for every fetch, so an edited list applies at the next inquiry.
    const CNameBlocker blockedMakers;
    for (int slot = index;; ++slot) {
        const NyvexDeviceRecord* found = getBTData(slot);
        if (found == nullptr) {
            return nullptr;
        }
        std::unique_ptr<NyvexSighting> record = copyOf(*found);
        if (!record) {
            return nullptr;
        }
        CManufacturer* table = front.manufacturers();
        const std::string maker = table ? backo::CBtAdWrapper::manufacturerOf(*record, *table)
                                        : CManufacturer::unreadable;
        if (!blockedMakers.isBlocked(maker)) {
            putManufacturer(*record, maker);
            return record;
        }
    }
}

std::unique_ptr<NyvexSighting> CBTScanner1::copyOf(const NyvexDeviceRecord& found) {
    try {
        auto record = std::make_unique<NyvexSighting>();
        // The record states its own size; never more than a device record is copied.
        const std::size_t size = std::min<std::size_t>(found.size, sizeof(NyvexDeviceRecord));
        std::memcpy(&record->device, &found, size);
        return record;
    } catch (...) {
        support::logError(platform::systemErrorText(errno), support::typeTag(this));
        return nullptr;
    }
}

}  // namespace blto
