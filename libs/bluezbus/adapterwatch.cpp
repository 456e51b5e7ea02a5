#include "adapterwatch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>

namespace bluezbus {

CAdapterWatch::CAdapterWatch(AdapterCallback callback) : callback(std::move(callback)) {}

CAdapterWatch::~CAdapterWatch() {
    stop();
}

bool CAdapterWatch::open(std::string& problem) {
    if (bus != nullptr) {
        return true;
    }
    BusError error;
    bus = CBusConnection::openSystem(error);
    if (bus == nullptr) {
        problem = error.text;
        return false;
    }
    subscribe();
    if (std::any_of(subscriptions.begin(), subscriptions.end(),
                    [](const auto& s) { return s == nullptr; })) {
        problem = "the system bus refused the adapter signal subscriptions";
        subscriptions.clear();
        bus.reset();
        return false;
    }
    // Messages the subscription calls read ahead sit in the connection's queue, and the bus
    // shows no readiness while they do: serve them now, so that polling the descriptor works.
    bus->servePending();
    return true;
}

void CAdapterWatch::subscribe() {
    const std::string sender = std::string("type='signal',sender='") + serviceName + "',";
    subscriptions.push_back(
        bus->subscribe(sender + "path='/',interface='org.freedesktop.DBus.ObjectManager'",
                       [this](sd_bus_message* m) { onObjectManagerSignal(m); }));
    subscriptions.push_back(
        bus->subscribe(sender +
                           "interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
                           "path_namespace='/org/bluez',arg0='" +
                           adapterInterface + "'",
                       [this](sd_bus_message* m) { onPropertiesChanged(m); }));
    subscriptions.push_back(bus->subscribe(
        "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
        "member='NameOwnerChanged',arg0='" +
            std::string(serviceName) + "'",
        [this](sd_bus_message* m) { onOwnerChanged(m); }));
}

void CAdapterWatch::onObjectManagerSignal(sd_bus_message* message) {
    const bool added = sd_bus_message_is_signal(message, nullptr, "InterfacesAdded") > 0;
    const bool removed = sd_bus_message_is_signal(message, nullptr, "InterfacesRemoved") > 0;
    const char* path = nullptr;
    if ((!added && !removed) || sd_bus_message_read_basic(message, 'o', &path) < 0) {
        return;
    }
    if (added) {
        std::map<std::string, Properties> interfaces;
        if (readInterfaces(message, interfaces) >= 0 && interfaces.count(adapterInterface) != 0) {
            callback({AdapterChange::added, path});
        }
        return;
    }
    char** names = nullptr;
    if (sd_bus_message_read_strv(message, &names) < 0 || names == nullptr) {
        return;
    }
    bool adapterGone = false;
    for (char** name = names; *name != nullptr; ++name) {
        adapterGone = adapterGone || std::string_view(*name) == adapterInterface;
        std::free(*name);
    }
    std::free(names);
    if (adapterGone) {
        callback({AdapterChange::removed, path});
    }
}

void CAdapterWatch::onPropertiesChanged(sd_bus_message* message) {
    const char* interface = nullptr;
    Properties changed;
    if (sd_bus_message_read_basic(message, 's', &interface) < 0 ||
        readProperties(message, changed) < 0 || !hasProperty(changed, "Powered")) {
        return;
    }
    const char* path = sd_bus_message_get_path(message);
    callback({flagOf(changed, "Powered") ? AdapterChange::poweredOn : AdapterChange::poweredOff,
              path != nullptr ? path : ""});
}

void CAdapterWatch::onOwnerChanged(sd_bus_message* message) {
    const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
    if (sd_bus_message_read(message, "sss", &name, &oldOwner, &newOwner) < 0) {
        return;
    }
    const bool arrived = newOwner != nullptr && *newOwner != '\0';
    callback({arrived ? AdapterChange::serviceStarted : AdapterChange::serviceStopped, {}});
}

int CAdapterWatch::fd() const {
    return bus != nullptr ? bus->fd() : -1;
}

short CAdapterWatch::pollEvents() const {
    return bus != nullptr ? bus->pollEvents() : 0;
}

void CAdapterWatch::process() {
    if (bus != nullptr) {
        bus->servePending();
    }
}

bool CAdapterWatch::start(std::string& problem) {
    if (worker.joinable()) {
        return true;
    }
    if (!open(problem)) {
        return false;
    }
    stopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopEvent < 0) {
        problem = "no event descriptor for the adapter watch";
        return false;
    }
    worker = std::thread([this] { serve(); });
    return true;
}

void CAdapterWatch::serve() {
    for (;;) {
        bus->servePending();
        if (!bus->connected()) {
            // The bus itself went away, and bluetoothd with it.
            callback({AdapterChange::serviceStopped, {}});
            return;
        }
        pollfd entries[2] = {{bus->fd(), bus->pollEvents(), 0}, {stopEvent, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (entries[1].revents != 0) {
            return;
        }
    }
}

void CAdapterWatch::stop() {
    if (!worker.joinable()) {
        return;
    }
    const std::uint64_t one = 1;
    // Non-blocking: a counter that cannot take more already says "stop".
    [[maybe_unused]] const ssize_t written = ::write(stopEvent, &one, sizeof one);
    worker.join();
    ::close(stopEvent);
    stopEvent = -1;
}

}  // namespace bluezbus
