#pragma once
// What bluetoothd knows about the machine's adapters and the devices they have seen, read in one
// call of its object manager.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "busconnection.h"

namespace bluezbus {

// Reads of the service's state never wait longer than this for its answer.
inline constexpr milliseconds readLimit{1000};
// Requests that make the service talk to the controller (discovery, alias) wait this long.
inline constexpr milliseconds commandLimit{2000};

struct AdapterInfo {
    std::string path;     // object path, e.g. /org/bluez/hci0
    std::string address;  // colon form, most significant byte first
    std::string alias;    // the name phones see
    std::uint32_t classOfDevice = 0;
    bool powered = false;
    std::string modalias;  // the identity the service announces; may be empty
};

struct DeviceInfo {
    std::string path;
    std::string adapter;  // the adapter's object path
    std::string address;
    std::optional<std::string> name;  // absent while the service has not learnt it
    std::optional<std::uint32_t> classOfDevice;
    bool inRange = false;  // the service holds a signal strength: found by the running discovery
};

struct ManagedObjects {
    std::vector<AdapterInfo> adapters;  // in object path order
    std::vector<DeviceInfo> devices;    // in the order the service lists them
};

AdapterInfo adapterFrom(const std::string& path, const Properties& properties);
DeviceInfo deviceFrom(const std::string& path, const Properties& properties);

// Every adapter and device bluetoothd manages; `error` says why there are none.
ManagedObjects readManagedObjects(CBusConnection& bus, BusError& error,
                                  milliseconds limit = readLimit);

// "/org/bluez/hci3" → 3, or -1 when the path names no HCI device.
int hciIndexOf(const std::string& adapterPath);

}  // namespace bluezbus
