// The C functions the program finds by name. Each one works on the library's one radio object and
// lets no exception out.

#include <type_traits>

#include "btradio.h"
#include "libs/common/guardedexport.h"
#include "libs/include/radiox.h"

using nyvexlib::guarded;

namespace {

// Created when the library is loaded, destroyed when it is unloaded.
CBTRadio theRadio;

}  // namespace

NYVEX_EXPORT double Add(double a, double b) {
    return guarded(0.0, [&] { return a + b; });
}

NYVEX_EXPORT int countDongles() {
    return guarded(0, [] { return theRadio.countDongles(); });
}

NYVEX_EXPORT const NyvexRadioRecord* getDongInf() {
    return guarded<const NyvexRadioRecord*>(nullptr, [] { return theRadio.radioInformation(); });
}

NYVEX_EXPORT int scandevices(int length) {
    return guarded(0, [&] { return theRadio.scanDevices(length); });
}

NYVEX_EXPORT const NyvexDeviceRecord* getBTData(int index) {
    return guarded<const NyvexDeviceRecord*>(nullptr, [&] { return theRadio.deviceRecord(index); });
}

NYVEX_EXPORT const char* getMaSe(int index) {
    return guarded<const char*>("", [&] { return theRadio.majorService(index); });
}

NYVEX_EXPORT int startLogging(const char16_t* path) {
    return guarded(0, [&] { return theRadio.startLogging(path); });
}

NYVEX_EXPORT void stopLogging() {
    guarded([] { theRadio.stopLogging(); });
}

static_assert(std::is_same_v<decltype(Add), radiox::AddFunction>);
static_assert(std::is_same_v<decltype(countDongles), radiox::CountDonglesFunction>);
static_assert(std::is_same_v<decltype(getDongInf), radiox::GetDongInfFunction>);
static_assert(std::is_same_v<decltype(scandevices), radiox::ScanDevicesFunction>);
static_assert(std::is_same_v<decltype(getBTData), radiox::GetBTDataFunction>);
static_assert(std::is_same_v<decltype(getMaSe), radiox::GetMaSeFunction>);
static_assert(std::is_same_v<decltype(startLogging), radiox::StartLoggingFunction>);
static_assert(std::is_same_v<decltype(stopLogging), radiox::StopLoggingFunction>);
