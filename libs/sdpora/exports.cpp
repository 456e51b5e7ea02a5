// The C functions found by name. Each one works on the library's one SDP object and lets no
// exception out.

#include <type_traits>

#include "libs/common/guardedexport.h"
#include "libs/include/sdpora.h"
#include "sdp1.h"

using nyvexlib::guarded;

namespace {

// Created when the library is loaded, destroyed (closing the log) when it is unloaded.
CSdp1 theSdp;

}  // namespace

NYVEX_EXPORT int getOppPort1(unsigned addressLow, unsigned addressHigh) {
    return guarded(0, [&] { return theSdp.getOppPort1(addressLow, addressHigh); });
}

NYVEX_EXPORT int startLogging(const char16_t* path) {
    return guarded(0, [&] { return theSdp.startLogging(path); });
}

NYVEX_EXPORT void stopLogging() {
    guarded([] { theSdp.stopLogging(); });
}

static_assert(std::is_same_v<decltype(getOppPort1), sdpora::GetOppPort1Function>);
static_assert(std::is_same_v<decltype(startLogging), sdpora::StartLoggingFunction>);
static_assert(std::is_same_v<decltype(stopLogging), sdpora::StopLoggingFunction>);
