#include "discovery.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace bluezbus {

namespace {

bool isBelow(const std::string& path, const std::string& parent) {
    return path.size() > parent.size() + 1 && path.compare(0, parent.size(), parent) == 0 &&
           path[parent.size()] == '/';
}

// What the signals told while the discovery ran.
struct DiscoveryWatch {
    std::string adapterPath;
    std::vector<std::string> reported;  // device paths, in the order first reported
    BusError interruption;

    void report(const std::string& path) {
        if (isBelow(path, adapterPath) &&
            std::find(reported.begin(), reported.end(), path) == reported.end()) {
            reported.push_back(path);
        }
    }
    void interrupt(int error, const std::string& text) {
        if (!interruption) {
            interruption = {error, text};
        }
    }
};

void onInterfacesAdded(DiscoveryWatch& watch, sd_bus_message* message) {
    const char* path = nullptr;
    std::map<std::string, Properties> interfaces;
    if (sd_bus_message_read_basic(message, 'o', &path) >= 0 &&
        readInterfaces(message, interfaces) >= 0 && interfaces.count(deviceInterface) != 0) {
        watch.report(path);
    }
}

void onInterfacesRemoved(DiscoveryWatch& watch, sd_bus_message* message) {
    const char* path = nullptr;
    if (sd_bus_message_read_basic(message, 'o', &path) >= 0 && path == watch.adapterPath) {
        watch.interrupt(ENODEV, "the adapter " + watch.adapterPath + " went away");
    }
}

void onObjectManagerSignal(DiscoveryWatch& watch, sd_bus_message* message) {
    if (sd_bus_message_is_signal(message, nullptr, "InterfacesAdded")) {
        onInterfacesAdded(watch, message);
    } else if (sd_bus_message_is_signal(message, nullptr, "InterfacesRemoved")) {
        onInterfacesRemoved(watch, message);
    }
}

void onPropertiesChanged(DiscoveryWatch& watch, sd_bus_message* message) {
    const char* interface = nullptr;
    Properties changed;
    if (sd_bus_message_read_basic(message, 's', &interface) < 0 ||
        readProperties(message, changed) < 0) {
        return;
    }
    const std::string path = sd_bus_message_get_path(message);
    const std::string_view name = interface;
    if (name == adapterInterface && path == watch.adapterPath && hasProperty(changed, "Powered") &&
        !flagOf(changed, "Powered")) {
        watch.interrupt(ENETDOWN, "the adapter " + path + " was switched off");
    } else if (name == deviceInterface && hasProperty(changed, "RSSI")) {
        watch.report(path);
    }
}

void onOwnerChanged(DiscoveryWatch& watch, sd_bus_message* message) {
    const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) >= 0 &&
        (newOwner == nullptr || *newOwner == '\0')) {
        watch.interrupt(ECONNRESET, "bluetoothd left the bus");
    }
}

using Subscriptions = std::vector<std::unique_ptr<CSubscription>>;

// The three kinds of signal a discovery listens to; empty when the bus refused one.
Subscriptions subscribeAll(CBusConnection& bus, DiscoveryWatch& watch) {
    const std::string sender = std::string("sender='") + serviceName + "',";
    Subscriptions subscriptions;
    subscriptions.push_back(bus.subscribe(
        "type='signal'," + sender + "path='/',interface='org.freedesktop.DBus.ObjectManager'",
        [&](sd_bus_message* m) { onObjectManagerSignal(watch, m); }));
    subscriptions.push_back(
        bus.subscribe("type='signal'," + sender +
                          "interface='org.freedesktop.DBus.Properties',member='"
                          "PropertiesChanged',path_namespace='" +
                          watch.adapterPath + "'",
                      [&](sd_bus_message* m) { onPropertiesChanged(watch, m); }));
    subscriptions.push_back(
        bus.subscribe("type='signal',sender='org.freedesktop.DBus',interface='"
                      "org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
                          std::string(serviceName) + "'",
                      [&](sd_bus_message* m) { onOwnerChanged(watch, m); }));
    const bool refused = std::any_of(subscriptions.begin(), subscriptions.end(),
                                     [](const auto& s) { return s == nullptr; });
    return refused ? Subscriptions() : std::move(subscriptions);
}

int appendBredrFilter(sd_bus_message* message) {
    return sd_bus_message_append(message, "a{sv}", 1, "Transport", "s", "bredr");
}

// The reported devices first, then those the service still holds as found, at most `maxDevices`.
std::vector<DeviceInfo> devicesFound(const DiscoveryWatch& watch, const ManagedObjects& objects,
                                     std::size_t maxDevices) {
    std::vector<DeviceInfo> found;
    auto take = [&](const DeviceInfo& device) {
        const bool listed = std::any_of(found.begin(), found.end(),
                                        [&](const DeviceInfo& d) { return d.path == device.path; });
        if (!listed && found.size() < maxDevices) {
            found.push_back(device);
        }
    };
    for (const std::string& path : watch.reported) {
        for (const DeviceInfo& device : objects.devices) {
            if (device.path == path) {
                take(device);
            }
        }
    }
    for (const DeviceInfo& device : objects.devices) {
        if (device.inRange && isBelow(device.path, watch.adapterPath)) {
            take(device);
        }
    }
    return found;
}

}  // namespace

DiscoveryResult discoverDevices(CBusConnection& bus, const std::string& adapterPath,
                                milliseconds duration, std::size_t maxDevices) {
    DiscoveryWatch watch{adapterPath, {}, {}};
    DiscoveryResult result;
    const Subscriptions subscriptions = subscribeAll(bus, watch);
    if (subscriptions.empty()) {
        result.error = {EIO, "the bus refused the signal subscriptions"};
        return result;
    }
    // A service without the filter still discovers; only the start decides.
    BusError filterError;
    bus.call(adapterPath, adapterInterface, "SetDiscoveryFilter", commandLimit, filterError,
             appendBredrFilter);
    bus.call(adapterPath, adapterInterface, "StartDiscovery", commandLimit, result.error);
    if (result.error) {
        return result;
    }
    bus.serveUntil(SteadyClock::now() + duration, [&] { return bool(watch.interruption); });
    if (!bus.connected()) {
        watch.interrupt(ECONNRESET, "the system bus closed the connection");
    }
    if (watch.interruption) {
        result.error = watch.interruption;
        return result;
    }
    // The service forgets which devices the discovery found once it stops: read them first.
    const ManagedObjects objects = readManagedObjects(bus, result.error);
    BusError stopError;
    bus.call(adapterPath, adapterInterface, "StopDiscovery", commandLimit, stopError);
    if (!result.error) {
        result.devices = devicesFound(watch, objects, maxDevices);
    }
    return result;
}

}  // namespace bluezbus
