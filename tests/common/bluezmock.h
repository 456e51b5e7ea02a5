#pragma once
// A private system bus with a stand-in for bluetoothd: the test starts its own dbus-daemon in a
// temporary folder and python3-dbusmock's bluez5 template on it, points DBUS_SYSTEM_BUS_ADDRESS
// of this process at that bus, and drives adapters and devices through the mock's own methods.
// Everything it started is ended when the fixture goes.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "tests/common/childprocess.h"

namespace testing_support {

class BluezMock {
  public:
    static constexpr const char* addressVariable = "DBUS_SYSTEM_BUS_ADDRESS";

    BluezMock() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "nyvex-bus-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            folder = pattern;
        }
        busAddress = "unix:path=" + (folder / "bus").string();
    }

    ~BluezMock() {
        stopService();
        daemon.reset();
        ::unsetenv(addressVariable);
        if (bus != nullptr) {
            sd_bus_flush_close_unref(bus);
        }
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }

    BluezMock(const BluezMock&) = delete;
    BluezMock& operator=(const BluezMock&) = delete;

    const std::string& address() const { return busAddress; }
    const std::filesystem::path& path() const { return folder; }

    // Starts the private bus and points this process's system bus at it; true when it listens.
    bool startBus() {
        daemon = std::make_unique<testing_support::ChildProcess>(
            testing_support::ChildProcess::Setup{{"/usr/bin/dbus-daemon", "--session", "--nofork",
                                                  "--nopidfile", "--address=" + busAddress},
                                                 folder.string(),
                                                 {},
                                                 (folder / "dbus.out").string(),
                                                 (folder / "dbus.err").string()});
        ::setenv(addressVariable, busAddress.c_str(), 1);
        return waitFor([&] { return connectTestBus(); });
    }

    // Starts bluetoothd's stand-in; true once it holds its name on the bus.
    bool startService() {
        service =
            std::make_unique<testing_support::ChildProcess>(testing_support::ChildProcess::Setup{
                {"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "bluez5"},
                folder.string(),
                {{addressVariable, busAddress}},
                (folder / "mock.out").string(),
                (folder / "mock.err").string()});
        return waitFor([&] { return serviceOnBus(); }) && addHelpers();
    }

    void stopService() {
        if (service != nullptr) {
            service->stop(SIGKILL, std::chrono::seconds(5));
            service.reset();
        }
    }

    bool start() { return startBus() && startService(); }

    void stopBus() {
        stopService();
        daemon.reset();
    }

    std::string serviceErrors() const { return service != nullptr ? service->errors() : ""; }

    // --- the mock's own methods ---

    // An adapter /org/bluez/<name>, powered, with alias `alias`.
    std::string addAdapter(const std::string& name, const std::string& alias) {
        return callForText("/", "org.bluez.Mock", "AddAdapter", "ss", name.c_str(), alias.c_str());
    }
    void removeAdapter(const std::string& name) {
        call("/", "org.bluez.Mock", "RemoveAdapter", "s", name.c_str());
    }
    // A device as bluetoothd holds one found by the discovery: with a signal strength, the name
    // `name` and class 0.
    std::string addDevice(const std::string& adapter, const std::string& address,
                          const std::string& name) {
        return callForText("/", "org.bluez.Mock", "AddDevice", "sss", adapter.c_str(),
                           address.c_str(), name.c_str());
    }
    // A device with only an address and its adapter; `found` adds a signal strength.
    void addBareDevice(const std::string& adapter, const std::string& address, bool found) {
        std::string path = "/org/bluez/" + adapter + "/dev_" + address;
        for (char& c : path) {
            c = c == ':' ? '_' : c;
        }
        const std::string adapterPath = "/org/bluez/" + adapter;
        if (found) {
            call("/", "org.bluez.Mock", "AddPlainDevice", "oa{sv}", path.c_str(), 3, "Address", "s",
                 address.c_str(), "Adapter", "o", adapterPath.c_str(), "RSSI", "n",
                 std::int16_t{-60});
        } else {
            call("/", "org.bluez.Mock", "AddPlainDevice", "oa{sv}", path.c_str(), 2, "Address", "s",
                 address.c_str(), "Adapter", "o", adapterPath.c_str());
        }
    }
    void setFlag(const std::string& path, const char* interface, const char* name, bool value) {
        call(path, "org.freedesktop.DBus.Properties", "Set", "ssv", interface, name, "b",
             static_cast<int>(value));
    }
    void setText(const std::string& path, const char* interface, const char* name,
                 const std::string& value) {
        call(path, "org.freedesktop.DBus.Properties", "Set", "ssv", interface, name, "s",
             value.c_str());
    }
    void setNumber(const std::string& path, const char* interface, const char* name,
                   std::uint32_t value) {
        call(path, "org.freedesktop.DBus.Properties", "Set", "ssv", interface, name, "u", value);
    }
    std::string text(const std::string& path, const char* interface, const char* name) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        char* value = nullptr;
        const int r = sd_bus_get_property_string(bus, "org.bluez", path.c_str(), interface, name,
                                                 &error, &value);
        sd_bus_error_free(&error);
        std::string result = r >= 0 && value != nullptr ? value : "";
        std::free(value);
        return result;
    }
    // Replaces the mock's method `member` on `path` by Python code (e.g. a slow answer).
    void replaceMethod(const std::string& path, const char* interface, const char* member,
                       const char* code) {
        call(path, "org.freedesktop.DBus.Mock", "AddMethod", "sssss", interface, member, "", "",
             code);
    }

    // Calls a method of the mock with sd-bus's variadic arguments; the test fails when it fails.
    template <typename... Args>
    void call(const std::string& path, const char* interface, const char* member, const char* types,
              Args... args) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const int r = sd_bus_call_method(bus, "org.bluez", path.c_str(), interface, member, &error,
                                         &reply, types, args...);
        EXPECT_GE(r, 0) << member << ": " << (error.message ? error.message : "");
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
    }

  private:
    template <typename Condition>
    static bool waitFor(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    bool connectTestBus() {
        if (bus != nullptr) {
            return true;
        }
        sd_bus* candidate = nullptr;
        if (sd_bus_new(&candidate) < 0) {
            return false;
        }
        sd_bus_set_address(candidate, busAddress.c_str());
        sd_bus_set_bus_client(candidate, 1);
        if (sd_bus_start(candidate) < 0) {
            sd_bus_unref(candidate);
            return false;
        }
        bus = candidate;
        return true;
    }

    bool serviceOnBus() {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        int owned = 0;
        if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", &error, &reply, "s",
                               "org.bluez") >= 0) {
            sd_bus_message_read(reply, "b", &owned);
        }
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        return owned != 0;
    }

    // The bluez5 template adds devices only with a name, a class and a signal strength; this
    // method of the mock's own adds one with the given properties and announces it.
    bool addHelpers() {
        call("/", "org.freedesktop.DBus.Mock", "AddMethod", "sssss", "org.bluez.Mock",
             "AddPlainDevice", "oa{sv}", "",
             "self.AddObject(args[0], 'org.bluez.Device1', args[1], []); "
             "self.object_manager_emit_added(args[0])");
        return true;
    }

    std::string callForText(const std::string& path, const char* interface, const char* member,
                            const char* types, const char* a, const char* b,
                            const char* c = nullptr) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        sd_bus_message* reply = nullptr;
        const int r = c == nullptr ? sd_bus_call_method(bus, "org.bluez", path.c_str(), interface,
                                                        member, &error, &reply, types, a, b)
                                   : sd_bus_call_method(bus, "org.bluez", path.c_str(), interface,
                                                        member, &error, &reply, types, a, b, c);
        EXPECT_GE(r, 0) << member << ": " << (error.message ? error.message : "");
        const char* text = nullptr;
        if (r >= 0) {
            sd_bus_message_read(reply, "s", &text);
        }
        std::string result = text != nullptr ? text : "";
        sd_bus_error_free(&error);
        sd_bus_message_unref(reply);
        return result;
    }

    std::filesystem::path folder;
    std::string busAddress;
    sd_bus* bus = nullptr;
    std::unique_ptr<testing_support::ChildProcess> daemon;
    std::unique_ptr<testing_support::ChildProcess> service;
};

}  // namespace testing_support
