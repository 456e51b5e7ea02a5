#include "discoveryfront.h"

#include "memory/recordtexts.h"
#include "support/logentry.h"

namespace blto {

CBtoh::CBtoh(CArrSyncMgr& newDevices, std::string radioLibrary)
    : newDeviceQueue(newDevices), libraryFile(std::move(radioLibrary)) {}

CBtoh::~CBtoh() {
    dropScanner();
}

void CBtoh::dropScanner() {
    if (scannerPart) {
        // Its worker may still be collecting through this front, which reads the pointer: it
        // ends before the pointer changes.
        scannerPart->stopAndJoin();
        scannerPart.reset();
    }
}

bool CBtoh::createScanner() {
    dropScanner();
    try {
        scannerPart = std::make_unique<CBTScanner1>(*this, newDeviceQueue, libraryFile);
    } catch (...) {
        scannerPart.reset();
    }
    return isLoaded();
}

bool CBtoh::isLoaded() const {
    return scannerPart && scannerPart->isLoaded();
}

int CBtoh::countRadios() {
    return scannerPart ? scannerPart->countDongles() : 0;
}

void CBtoh::startScan() {
    if (isLoaded()) {
        scannerPart->start(&radio);
    }
}

void CBtoh::stopScan() {
    if (scannerPart) {
        scannerPart->stop();
    }
}

void CBtoh::stopAndJoinScan() {
    if (scannerPart) {
        scannerPart->stopAndJoin();
    }
}

bool CBtoh::isScanRunning() const {
    return scannerPart && scannerPart->isRunning();
}

int CBtoh::collect(int n) {
    sightingQueue.deleteAll();
    if (n == 0 || !scannerPart) {
        return 0;
    }
    int counted = 0;
    for (int slot = 0;; ++slot) {
        std::unique_ptr<NyvexSighting> record = scannerPart->fetch(slot);
        if (!record) {
            break;
        }
        if (backo::CBtAdWrapper::isNullAddress(record.get())) {
            // The radio library marks a failed inquiry with an all-zero address.
            support::logError(std::to_string(n) + "found 0btad", support::typeTag(this));
            return counted;
        }
        auto sighting = std::make_unique<CBtAdWCounter>();
        sighting->setRecord(std::move(record));
        sightingQueue.addUnique(std::move(sighting));
        ++counted;
        if (slot + 1 >= n) {
            break;
        }
    }
    return counted;
}

}  // namespace blto
