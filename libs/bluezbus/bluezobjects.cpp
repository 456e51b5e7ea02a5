#include "bluezobjects.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>

namespace bluezbus {

namespace {

// Reads a{oa{sa{sv}}}, keeping only the adapters and devices.
int readObjects(sd_bus_message* message, ManagedObjects& objects) {
    int r = sd_bus_message_enter_container(message, 'a', "{oa{sa{sv}}}");
    if (r < 0) {
        return r;
    }
    while ((r = sd_bus_message_enter_container(message, 'e', "oa{sa{sv}}")) > 0) {
        const char* path = nullptr;
        if ((r = sd_bus_message_read_basic(message, 'o', &path)) < 0) {
            return r;
        }
        std::map<std::string, Properties> interfaces;
        if ((r = readInterfaces(message, interfaces)) < 0) {
            return r;
        }
        if (const auto adapter = interfaces.find(adapterInterface); adapter != interfaces.end()) {
            objects.adapters.push_back(adapterFrom(path, adapter->second));
        }
        if (const auto device = interfaces.find(deviceInterface); device != interfaces.end()) {
            objects.devices.push_back(deviceFrom(path, device->second));
        }
        if ((r = sd_bus_message_exit_container(message)) < 0) {
            return r;
        }
    }
    if (r < 0) {
        return r;
    }
    return sd_bus_message_exit_container(message);
}

}  // namespace

AdapterInfo adapterFrom(const std::string& path, const Properties& properties) {
    AdapterInfo adapter;
    adapter.path = path;
    adapter.address = textOf(properties, "Address");
    adapter.alias = textOf(properties, "Alias");
    adapter.classOfDevice =
        static_cast<std::uint32_t>(std::max<std::int64_t>(numberOf(properties, "Class"), 0));
    adapter.powered = flagOf(properties, "Powered");
    adapter.modalias = textOf(properties, "Modalias");
    return adapter;
}

DeviceInfo deviceFrom(const std::string& path, const Properties& properties) {
    DeviceInfo device;
    device.path = path;
    device.adapter = textOf(properties, "Adapter");
    device.address = textOf(properties, "Address");
    if (hasProperty(properties, "Name")) {
        device.name = textOf(properties, "Name");
    }
    if (const std::int64_t deviceClass = numberOf(properties, "Class"); deviceClass >= 0) {
        device.classOfDevice = static_cast<std::uint32_t>(deviceClass);
    }
    device.inRange = hasProperty(properties, "RSSI");
    return device;
}

ManagedObjects readManagedObjects(CBusConnection& bus, BusError& error, milliseconds limit) {
    const CReply reply =
        bus.call("/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", limit, error);
    if (reply.get() == nullptr) {
        return {};
    }
    ManagedObjects objects;
    if (const int r = readObjects(reply.get(), objects); r < 0) {
        error = {-r, "GetManagedObjects: the answer cannot be read"};
        return {};
    }
    std::sort(objects.adapters.begin(), objects.adapters.end(),
              [](const AdapterInfo& a, const AdapterInfo& b) {
                  return hciIndexOf(a.path) != hciIndexOf(b.path)
                             ? hciIndexOf(a.path) < hciIndexOf(b.path)
                             : a.path < b.path;
              });
    return objects;
}

int hciIndexOf(const std::string& adapterPath) {
    const std::string prefix = "/org/bluez/hci";
    if (adapterPath.rfind(prefix, 0) != 0 || adapterPath.size() == prefix.size()) {
        return -1;
    }
    int index = -1;
    const char* first = adapterPath.data() + prefix.size();
    const char* last = adapterPath.data() + adapterPath.size();
    const auto [end, problem] = std::from_chars(first, last, index);
    return problem == std::errc() && end == last ? index : -1;
}

}  // namespace bluezbus
