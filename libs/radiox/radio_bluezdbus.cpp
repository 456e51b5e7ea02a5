// The real radio through the system's Bluetooth service: bluetoothd's adapters and devices over
// D-Bus. A radio is an adapter that exists and is powered (a switched-off or blocked adapter
// finds nobody, so it is no radio). An inquiry of length n is a classic-Bluetooth discovery of
// n × 1.28 s on the first radio; the devices come with the name and class the service already
// knows. Only the controller's version and manufacturer are read over HCI, a read the kernel
// allows without privileges; where that fails they stay 0.

#include <bluetooth/bluetooth.h>
#include <bluetooth/hci.h>
#include <bluetooth/hci_lib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "libs/bluezbus/bluezobjects.h"
#include "libs/bluezbus/discovery.h"
#include "platform/btaddress.h"
#include "radiobackend.h"

namespace radiox {

namespace {

constexpr int localVersionTimeoutMs = 1000;
constexpr double millisecondsPerLengthUnit = 1280;

enum class ServiceState { unknown, present, missing };

// Whether the service answered last time, shared by every backend of the process, so that a
// missing service is told once when it goes and once when it is back, not at every radio count.
std::atomic<ServiceState> lastServiceState{ServiceState::unknown};

void noteService(ServiceState now, const std::string& why, const Report& report) {
    const ServiceState before = lastServiceState.exchange(now);
    if (before == now) {
        return;
    }
    std::string line;
    if (now == ServiceState::missing) {
        line = "Radiox: bluetoothd does not answer on the system bus (" + why + "): no radio";
    } else if (before == ServiceState::missing) {
        line = "Radiox: bluetoothd answers again";
    } else {
        return;
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    report(line);
}

void readControllerVersion(const bluezbus::AdapterInfo& adapter, RadioFacts& radio) {
    const int index = bluezbus::hciIndexOf(adapter.path);
    if (index < 0) {
        return;
    }
    const int device = ::hci_open_dev(index);
    if (device < 0) {
        return;
    }
    hci_version version{};
    if (::hci_read_local_version(device, &version, localVersionTimeoutMs) == 0) {
        radio.subVersion = version.lmp_subver;
        radio.manufacturer = version.manufacturer;
    }
    ::hci_close_dev(device);
}

class BluezDbusRadio : public RadioBackend {
  public:
    explicit BluezDbusRadio(Report report) : report(std::move(report)) {}

    RadioSearch radios() override {
        bluezbus::BusError error;
        const auto bus = connect(error);
        const bluezbus::ManagedObjects objects =
            bus ? bluezbus::readManagedObjects(*bus, error) : bluezbus::ManagedObjects{};
        if (error) {
            noteService(ServiceState::missing, error.text, report);
            return {{}, error.error};
        }
        noteService(ServiceState::present, {}, report);
        RadioSearch search;
        for (const bluezbus::AdapterInfo& adapter : objects.adapters) {
            if (!adapter.powered) {
                report("adapter " + adapter.path + " is switched off: not counted");
                continue;
            }
            search.radios.push_back(factsOf(adapter));
        }
        search.lastError = search.radios.empty() ? ENODEV : 0;
        return search;
    }

    InquiryResult inquire(int length, std::size_t maxDevices) override {
        bluezbus::BusError error;
        const auto bus = connect(error);
        const bluezbus::ManagedObjects objects =
            bus ? bluezbus::readManagedObjects(*bus, error) : bluezbus::ManagedObjects{};
        const bluezbus::AdapterInfo* radio = firstPowered(objects);
        // The radio counted a moment ago may be gone or off; that is no device found.
        if (radio == nullptr) {
            report("no powered adapter for the inquiry" + (error ? ": " + error.text : ""));
            return {};
        }
        const auto duration =
            bluezbus::milliseconds(static_cast<long long>(length * millisecondsPerLengthUnit));
        const bluezbus::DiscoveryResult found =
            bluezbus::discoverDevices(*bus, radio->path, duration, maxDevices);
        if (found.error) {
            report("inquiry on " + radio->path + " failed: " + found.error.text);
            return {true, found.error.error, {}};
        }
        InquiryResult result;
        for (const bluezbus::DeviceInfo& device : found.devices) {
            if (auto facts = factsOf(device)) {
                result.devices.push_back(std::move(*facts));
            }
        }
        return result;
    }

  private:
    std::unique_ptr<bluezbus::CBusConnection> connect(bluezbus::BusError& error) {
        auto bus = bluezbus::CBusConnection::openSystem(error);
        if (bus == nullptr) {
            noteService(ServiceState::missing, error.text, report);
        }
        return bus;
    }

    static const bluezbus::AdapterInfo* firstPowered(const bluezbus::ManagedObjects& objects) {
        for (const bluezbus::AdapterInfo& adapter : objects.adapters) {
            if (adapter.powered) {
                return &adapter;
            }
        }
        return nullptr;
    }

    RadioFacts factsOf(const bluezbus::AdapterInfo& adapter) {
        RadioFacts radio;
        radio.address = platform::btaddress::parse(adapter.address).value_or(0);
        radio.name = adapter.alias;
        radio.classOfDevice = adapter.classOfDevice;
        readControllerVersion(adapter, radio);
        return radio;
    }

    std::optional<DeviceFacts> factsOf(const bluezbus::DeviceInfo& device) {
        const auto address = platform::btaddress::parse(device.address);
        if (!address) {
            report("device " + device.path + " has no valid address: left out");
            return std::nullopt;
        }
        if (!device.name) {
            report("device " + device.address + " has no name yet");
        }
        if (!device.classOfDevice) {
            report("device " + device.address + " has no class of device");
        }
        return DeviceFacts{*address, device.classOfDevice.value_or(0), device.name.value_or("")};
    }

    Report report;
};

}  // namespace

std::unique_ptr<RadioBackend> makeBluezRadio(Report report) {
    return std::make_unique<BluezDbusRadio>(std::move(report));
}

}  // namespace radiox
