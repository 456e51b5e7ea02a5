#pragma once
// Bluetooth addresses in BlueZ's form: bdaddr_t holds the six bytes least significant first,
// like the station's records.

#include <bluetooth/bluetooth.h>

#include <cstdint>

#include "platform/btaddress.h"

namespace platform::btaddress {

inline bdaddr_t toBluez(std::uint64_t address) {
    bdaddr_t result{};
    const Bytes bytes = toBytes(address);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        result.b[i] = bytes[i];
    }
    return result;
}

inline std::uint64_t fromBluez(const bdaddr_t& address) {
    Bytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = address.b[i];
    }
    return fromBytes(bytes);
}

}  // namespace platform::btaddress
