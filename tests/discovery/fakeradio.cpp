// A stand-in for the radio library whose inquiry always fills three slots: a device whose record
// claims to be far larger than a device record, then the all-zero record of a failed inquiry,
// then a device that is never reached.

#include <cstring>

#include "libs/include/btrecords.h"

namespace {

NyvexDeviceRecord slots[3];

void fill() {
    std::memset(slots, 0, sizeof slots);
    for (NyvexDeviceRecord& slot : slots) {
        slot.size = sizeof(NyvexDeviceRecord);
    }
    slots[0].size = 100000;
    slots[0].address = 0x001122000001ull;
    slots[2].address = 0x001122000002ull;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int countDongles() {
    return 1;
}

__attribute__((visibility("default"))) int scandevices(int) {
    fill();
    return 3;
}

__attribute__((visibility("default"))) const NyvexDeviceRecord* getBTData(int index) {
    return index >= 0 && index < 3 ? &slots[index] : nullptr;
}

__attribute__((visibility("default"))) const char* getMaSe(int) {
    return "";
}
}
