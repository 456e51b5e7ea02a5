#include "sightingqueue.h"

namespace {
using Guard = std::unique_lock<platform::TimedMutex>;
}

bool CArrSyncMgr::addUnique(Sighting sighting) {
    Guard guard(lock, addWait);
    if (!guard.owns_lock() || !sighting || items.contains(*sighting)) {
        return false;
    }
    items.add(std::move(sighting));
    return true;
}

CArrSyncMgr::Sighting CArrSyncMgr::takeLast() {
    Guard guard(lock, takeWait);
    if (!guard.owns_lock()) {
        return nullptr;
    }
    return items.takeLast();
}

CArrSyncMgr::Sighting CArrSyncMgr::copyAt(int index) {
    Guard guard(lock, copyWait);
    if (!guard.owns_lock() || index < 0 || static_cast<std::size_t>(index) >= items.size()) {
        return nullptr;
    }
    return std::make_unique<blto::CBtAdWCounter>(items.at(index));
}

int CArrSyncMgr::count() {
    Guard guard(lock, countWait);
    return guard.owns_lock() ? static_cast<int>(items.size()) : 0;
}

void CArrSyncMgr::removeDevice(const NyvexSighting& record) {
    Guard guard(lock, removeWait);
    if (guard.owns_lock()) {
        items.removeByAddress(record);
    }
}

void CArrSyncMgr::deleteAll() {
    Guard guard(lock, deleteAllWait);
    if (guard.owns_lock()) {
        items.deleteAll();
    }
}
