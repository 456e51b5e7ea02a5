#include "backoffice.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <new>

#include "config/configstore.h"
#include "memory/recordtexts.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/logentry.h"

namespace backo {

namespace {

using Guard = std::unique_lock<platform::RecursiveTimedMutex>;
using Turn = std::unique_lock<platform::TimedMutex>;
using Deadline = std::chrono::steady_clock::time_point;

constexpr double minutesPerDay = 1440.0;

// The colon form the dialog writes, whatever case or surrounding blanks the file holds.
std::string normalisedAddress(const std::string& text) {
    std::string address = platform::trim(text);
    std::transform(address.begin(), address.end(), address.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return address;
}

// What is left of a wait shared by two locks taken one after the other.
std::chrono::milliseconds until(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

}  // namespace

CBackOffice::~CBackOffice() {
    stopAndJoin();
}

void CBackOffice::setQueues(CArrSyncMgr* sightings, CArrSyncMgr* newDevices) {
    sightingQueue = sightings;
    newDeviceQueue = newDevices;
}

void CBackOffice::configure(int newDuration, bool polite, bool test) {
    duration = newDuration;
    politeMode = polite;
    testMode = test;
}

bool CBackOffice::loadBlockedAddresses() {
    // Read before taking the lock: the worker's lookups need not wait for the file.
    const CInit config = config::configCopy();
    std::set<std::string> addresses;
    for (int n = 1;; ++n) {
        const std::string value = config.getString("nogoaddress" + std::to_string(n), false);
        if (value == CInit::missing) {
            break;
        }
        addresses.insert(normalisedAddress(value));
    }
    Guard guard(lock, std::defer_lock);
    if (!guard.try_lock_for(blockedListWait)) {
        return false;
    }
    blockedAddresses.swap(addresses);
    return true;
}

bool CBackOffice::openStore(const std::string& path) {
    const Deadline deadline = std::chrono::steady_clock::now() + openWait;
    Turn turn(saveTurn, std::defer_lock);
    Guard guard(lock, std::defer_lock);
    if (!turn.try_lock_for(openWait) || !guard.try_lock_for(until(deadline))) {
        return false;
    }
    // Devices served or seen since the last save would otherwise be lost. The lock stays held
    // through the save and the load: a device served in between would reach neither the old
    // archive nor the new memory.
    if (memory && memory->isChanged() && !memory->saveIfChanged()) {
        reportUnsaved(memory->lastError());
    }
    auto fresh = std::make_unique<CBtAdMemory>();
    fresh->setPath(path);
    const bool loaded = fresh->load();
    if (!loaded) {
        keepDamagedArchive(*fresh);
    }
    memory = std::move(fresh);
    return loaded;
}

// An archive that exists but did not load whole would be replaced by the next save with only
// the devices read before the damage. The damaged file keeps a second name first, so what it
// holds beyond the damage stays on disk for the operator, and the devices read are written
// at once as a sound archive in its place, so a restart finds them whether or not a device is
// served before it.
void CBackOffice::keepDamagedArchive(const CBtAdMemory& loaded) {
    const std::string& path = loaded.path();
    if (!platform::fileExists(path)) {
        return;  // none yet: a first start
    }
    std::string error;
    const auto kept = platform::keepUnderSecondName(path, ".damaged", &error);
    std::string report = "device memory not loaded whole: " + loaded.lastError() + "; ";
    if (!kept) {
        report += "not kept aside (" + error + ")";
    } else {
        report += "kept as " + *kept;
        if (!platform::replaceFileAtomically(path, loaded.serialize(), &error)) {
            report += "; not rewritten (" + error + ")";
        }
    }
    support::logError(report + "; " + std::to_string(loaded.count()) + " devices remembered",
                      support::typeTag(this));
}

bool CBackOffice::start() {
    if (!CBlueSync::start(nullptr)) {
        return false;
    }
    launch([this] { run(); });
    return true;
}

bool CBackOffice::isKnown(const blto::CBtAdWCounter& sighting) {
    const NyvexSighting* record = sighting.record();
    if (record == nullptr) {
        return true;
    }
    CBtAdWrapper wrapper;
    const std::string key = wrapper.memoryKey(*record);
    const std::string address = CBtAdWrapper::addressWithColons(*record);
    Guard guard(lock, std::defer_lock);
    if (!guard.try_lock_for(knownWait)) {
        return true;
    }
    // The blocked test comes first, so a blocked device never touches the memory.
    if (blockedAddresses.contains(address)) {
        return true;
    }
    return memory && memory->lookup(key, politeMode);
}

bool CBackOffice::markServed(const blto::CBtAdWCounter& served) {
    const NyvexSighting* record = served.record();
    if (record == nullptr) {
        return false;
    }
    CBtAdWrapper wrapper;
    const std::string key = wrapper.memoryKey(*record);
    Guard guard(lock, std::defer_lock);
    if (!guard.try_lock_for(servedWait) || !memory) {
        return false;
    }
    const bool added = memory->addIfAbsent(key);
    purgeExpired();
    guard.unlock();
    save();
    return added;
}

int CBackOffice::rememberedCount() {
    Guard guard(lock, std::defer_lock);
    if (!guard.try_lock_for(countWait) || !memory) {
        return 0;
    }
    const int count = memory->count();
    const bool purge = tickCount >= callsBetweenPurges;
    if (purge) {
        tickCount = 0;
        purgeExpired();
    }
    ++tickCount;
    guard.unlock();
    if (purge) {
        save();
    }
    return count;
}

bool CBackOffice::save() {
    const Deadline deadline = std::chrono::steady_clock::now() + saveWait;
    Turn turn(saveTurn, std::defer_lock);
    if (!turn.try_lock_for(saveWait)) {
        return false;
    }
    Guard guard(lock, std::defer_lock);
    if (!guard.try_lock_for(until(deadline)) || !memory) {
        return false;
    }
    if (!memory->isChanged()) {
        return true;
    }
    CBtAdMemory& saving = *memory;  // stays in place: replacing it takes this turn
    const std::string path = saving.path();
    try {
        saving.takeSnapshot(saveCopy);
    } catch (const std::bad_alloc&) {
        reportUnsaved("out of memory for a copy of the memory");
        return false;
    }
    guard.unlock();

    if (whileWriting) {
        whileWriting();
    }
    std::string error;
    if (!saveCopy.write(path, error)) {
        reportUnsaved(error);
        return false;
    }
    // Changes made since the copy keep the memory marked changed for the next save.
    saving.markSaved(saveCopy.generation());
    return true;
}

void CBackOffice::reportUnsaved(const std::string& why) {
    support::logError("memory not saved: " + why, support::typeTag(this));
}

void CBackOffice::clearMemory() {
    Guard guard(lock, std::defer_lock);
    if (guard.try_lock_for(clearWait) && memory) {
        memory->removeAll();
    }
}

void CBackOffice::purgeExpired() {
    const double limit = duration;
    const double days = testMode ? limit / minutesPerDay : limit;
    memory->purgeOlderThan(days);
}

void CBackOffice::run() {
    try {
        sortSightings();
    } catch (const std::bad_alloc&) {
        support::logError("memory ex", support::typeTag(this));
        stop();
    } catch (...) {
        support::logError("elipsis", support::typeTag(this));
        stop();
    }
}

void CBackOffice::sortSightings() {
    // A stop during a pause ends the worker at once rather than after one more sighting.
    if (!pause(startPause)) {
        return;
    }
    while (pause(passPause)) {
        CArrSyncMgr* sightings = sightingQueue;
        CArrSyncMgr::Sighting sighting = sightings ? sightings->takeLast() : nullptr;
        if (!sighting) {
            pause(idlePause);
            continue;
        }
        if (isKnown(*sighting)) {
            continue;  // dropped: blocked or served recently
        }
        if (CArrSyncMgr* newDevices = newDeviceQueue) {
            newDevices->addUnique(std::move(sighting));
        }
    }
}

}  // namespace backo
