// The C functions found by name. Each one works on the library's one SDP object and lets no
// exception out.

#include "sdp1.h"

#define SDPORA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Created when the library is loaded, destroyed (closing the log) when it is unloaded.
CSdp1 theSdp;

}  // namespace

SDPORA_EXPORT int getOppPort1(unsigned addressLow, unsigned addressHigh) {
    try {
        return theSdp.getOppPort1(addressLow, addressHigh);
    } catch (...) {
        return 0;
    }
}

SDPORA_EXPORT int startLogging(const char16_t* path) {
    try {
        return theSdp.startLogging(path);
    } catch (...) {
        return 0;
    }
}

SDPORA_EXPORT void stopLogging() {
    try {
        theSdp.stopLogging();
    } catch (...) {
        return;
    }
}
