// The C functions the program finds by name. Each one works on the library's one radio object and
// lets no exception out.

#include "btradio.h"

#define RADIOX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Created when the library is loaded, destroyed when it is unloaded.
CBTRadio theRadio;

template <typename Result, typename Call>
Result guarded(Result neutral, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        return neutral;
    }
}

}  // namespace

RADIOX_EXPORT double Add(double a, double b) {
    return guarded(0.0, [&] { return a + b; });
}

RADIOX_EXPORT int countDongles() {
    return guarded(0, [] { return theRadio.countDongles(); });
}

RADIOX_EXPORT const NyvexRadioRecord* getDongInf() {
    return guarded<const NyvexRadioRecord*>(nullptr, [] { return theRadio.radioInformation(); });
}

RADIOX_EXPORT int scandevices(int length) {
    return guarded(0, [&] { return theRadio.scanDevices(length); });
}

RADIOX_EXPORT const NyvexDeviceRecord* getBTData(int index) {
    return guarded<const NyvexDeviceRecord*>(nullptr, [&] { return theRadio.deviceRecord(index); });
}

RADIOX_EXPORT const char* getMaSe(int index) {
    return guarded<const char*>("", [&] { return theRadio.majorService(index); });
}

RADIOX_EXPORT int startLogging(const char16_t* path) {
    return guarded(0, [&] { return theRadio.startLogging(path); });
}

RADIOX_EXPORT void stopLogging() {
    guarded(0, [] {
        theRadio.stopLogging();
        return 0;
    });
}
