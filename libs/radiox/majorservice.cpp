#include "majorservice.h"

namespace {

struct ServiceBit {
    std::uint32_t bit;
    const char* name;
};

// In the order the bits are tested; not the order of the bits.
constexpr ServiceBit serviceBits[] = {
    {0x100000, "Object Transfer "},
    {0x800000, "Information "},
    {0x400000, "Telephony "},
    {0x200000, "Audio "},
    {0x080000, "Capturing "},
    {0x040000, "Rendering "},
    {0x020000, "Networking "},
    {0x010000, "Positioning "},
    {0x008000, "iv_0x8000 "},
    {0x004000, "iv_0x4000 "},
    {0x002000, "Limited Discoverable Mode "},
};

}  // namespace

const char* MajorService::name() const {
    for (const ServiceBit& service : serviceBits) {
        if ((classOfDevice & service.bit) != 0) {
            return service.name;
        }
    }
    return "";
}
