#pragma once
// Radio hot-plug through bluetoothd's signals: an adapter added or removed, switched on or off,
// and the service itself arriving on or leaving the bus. Each becomes one call of the owner's
// callback, after which the owner counts its radios again.
//
// Two ways to serve it: the owner polls fd() for pollEvents() in its own loop and calls
// process() when it is ready (the callback then runs on the owner's thread), or start() runs a
// thread of its own that calls the callback there until stop() joins it.

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "busconnection.h"

namespace bluezbus {

enum class AdapterChange { added, removed, poweredOn, poweredOff, serviceStarted, serviceStopped };

struct AdapterEvent {
    AdapterChange change;
    std::string path;  // the adapter's object path; empty for the service's own arrival and leave
};

using AdapterCallback = std::function<void(const AdapterEvent&)>;

class CAdapterWatch {
  public:
    explicit CAdapterWatch(AdapterCallback callback);
    ~CAdapterWatch();
    CAdapterWatch(const CAdapterWatch&) = delete;
    CAdapterWatch& operator=(const CAdapterWatch&) = delete;

    // Connects to the system bus and subscribes; false with `problem` when there is no bus or it
    // refused a subscription. The service need not run: its arrival is one of the notices.
    bool open(std::string& problem);

    // Poll mode, after open().
    int fd() const;
    short pollEvents() const;
    void process();

    // Thread mode: opens when not yet open, then serves on a thread of its own.
    bool start(std::string& problem);
    // Ends and joins the thread; nothing when none runs.
    void stop();

  private:
    void subscribe();
    void serve();
    void onObjectManagerSignal(sd_bus_message* message);
    void onPropertiesChanged(sd_bus_message* message);
    void onOwnerChanged(sd_bus_message* message);

    AdapterCallback callback;
    std::unique_ptr<CBusConnection> bus;
    std::vector<std::unique_ptr<CSubscription>> subscriptions;
    int stopEvent = -1;
    std::thread worker;
};

}  // namespace bluezbus
