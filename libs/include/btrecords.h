#pragma once
// Records shared by the radio library and the program, byte for byte as the station has always
// laid them out: the device record (560 bytes), the radio record (520 bytes) and the sighting
// (the device record followed by the manufacturer name, 1056 bytes).

#include <cstddef>
#include <cstdint>

extern "C" {

struct NyvexSystemTime {
    std::uint16_t year, month, dayOfWeek, day, hour, minute, second, milliseconds;
};

struct NyvexDeviceRecord {
    std::uint32_t size;  // 560
    std::uint32_t padding;
    std::uint64_t address;  // 48-bit address, least significant byte first; upper two bytes 0
    std::uint32_t classOfDevice;
    std::int32_t connected;
    std::int32_t remembered;
    std::int32_t authenticated;
    NyvexSystemTime lastSeen;
    NyvexSystemTime lastUsed;
    char16_t name[248];
};

struct NyvexRadioRecord {
    std::uint32_t size;  // 520
    std::uint32_t padding;
    std::uint64_t address;
    char16_t name[248];
    std::uint32_t classOfDevice;
    std::uint16_t subVersion;
    std::uint16_t manufacturer;
};

struct NyvexSighting {
    NyvexDeviceRecord device;
    char16_t manufacturerName[248];
};

}  // extern "C"

static_assert(sizeof(NyvexDeviceRecord) == 560);
static_assert(offsetof(NyvexDeviceRecord, address) == 8);
static_assert(offsetof(NyvexDeviceRecord, classOfDevice) == 16);
static_assert(offsetof(NyvexDeviceRecord, connected) == 20);
static_assert(offsetof(NyvexDeviceRecord, lastSeen) == 32);
static_assert(offsetof(NyvexDeviceRecord, lastUsed) == 48);
static_assert(offsetof(NyvexDeviceRecord, name) == 64);
static_assert(sizeof(NyvexRadioRecord) == 520);
static_assert(offsetof(NyvexRadioRecord, name) == 16);
static_assert(offsetof(NyvexRadioRecord, classOfDevice) == 512);
static_assert(offsetof(NyvexRadioRecord, subVersion) == 516);
static_assert(offsetof(NyvexRadioRecord, manufacturer) == 518);
static_assert(sizeof(NyvexSighting) == 1056);
