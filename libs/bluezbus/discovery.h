#pragma once
// One device discovery on one adapter through bluetoothd, on classic Bluetooth (BR/EDR) only.
// The devices it gives are those the service reported while it ran (newly added or heard again,
// in that order) and those it holds as found by the running discovery when the time is up, each
// with the newest address, name and class the service knows. The station never pages a device
// for its name: the service already has it from the device's inquiry response or its own query.

#include <cstddef>
#include <string>
#include <vector>

#include "bluezobjects.h"

namespace bluezbus {

struct DiscoveryResult {
    BusError error;  // set when the discovery could not run or was cut short
    std::vector<DeviceInfo> devices;
};

// Discovers for `duration` after the service started, then stops. Ends early with an error when
// the service leaves the bus, the adapter goes away or is switched off. Never takes longer than
// `duration` plus the limits of its five requests.
DiscoveryResult discoverDevices(CBusConnection& bus, const std::string& adapterPath,
                                milliseconds duration, std::size_t maxDevices);

}  // namespace bluezbus
