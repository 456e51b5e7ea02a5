#pragma once
// One connection to the system bus (the address in DBUS_SYSTEM_BUS_ADDRESS when set, else the
// standard socket) and the few ways this station talks over it: method calls to bluetoothd that
// never start it and never wait longer than their limit, properties read from its messages into
// plain values, and signal subscriptions served by a bounded wait.
//
// A connection belongs to one thread at a time; callers that run in parallel open their own.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

struct sd_bus;
struct sd_bus_message;
struct sd_bus_slot;

namespace bluezbus {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

inline constexpr const char* serviceName = "org.bluez";
inline constexpr const char* adapterInterface = "org.bluez.Adapter1";
inline constexpr const char* deviceInterface = "org.bluez.Device1";

// A failed step: the errno value sd-bus gave (a D-Bus error name is mapped to one) and a text
// that names the step and the service's own message.
struct BusError {
    int error = 0;
    std::string text;
    explicit operator bool() const { return error != 0; }
};

// A property value of a basic type; containers and other types read as std::monostate.
using PropertyValue = std::variant<std::monostate, std::string, bool, std::int64_t>;
using Properties = std::map<std::string, PropertyValue>;

std::string textOf(const Properties& properties, const std::string& name);
bool hasProperty(const Properties& properties, const std::string& name);
bool flagOf(const Properties& properties, const std::string& name);
// An integer property, or -1 when it is missing or not an integer.
std::int64_t numberOf(const Properties& properties, const std::string& name);

// The reply of a call, owned; empty after a failed call.
class CReply {
  public:
    CReply() = default;
    explicit CReply(sd_bus_message* message) : message(message) {}
    ~CReply();
    CReply(CReply&& other) noexcept : message(other.message) { other.message = nullptr; }
    CReply& operator=(CReply&& other) noexcept;
    CReply(const CReply&) = delete;
    CReply& operator=(const CReply&) = delete;
    sd_bus_message* get() const { return message; }

  private:
    sd_bus_message* message = nullptr;
};

// Called for each matching signal with the message positioned at its first argument.
using SignalHandler = std::function<void(sd_bus_message*)>;

// A signal subscription; the bus forgets the rule when it goes.
class CSubscription {
  public:
    explicit CSubscription(SignalHandler handler) : handler(std::move(handler)) {}
    ~CSubscription();
    CSubscription(const CSubscription&) = delete;
    CSubscription& operator=(const CSubscription&) = delete;

  private:
    friend class CBusConnection;
    SignalHandler handler;
    sd_bus_slot* slot = nullptr;
};

class CBusConnection {
  public:
    // Connects to the system bus; null with `error` filled when there is no bus.
    static std::unique_ptr<CBusConnection> openSystem(BusError& error);
    ~CBusConnection();
    CBusConnection(const CBusConnection&) = delete;
    CBusConnection& operator=(const CBusConnection&) = delete;

    // Whether bluetoothd holds its name on the bus; false also when the bus does not answer.
    bool serviceRunning(milliseconds limit);

    // Calls `member` of `interface` on bluetoothd's object `path`; `append` adds the arguments.
    // The service is never started by the call, and the reply is awaited at most `limit`.
    CReply call(const std::string& path, const char* interface, const char* member,
                milliseconds limit, BusError& error,
                const std::function<int(sd_bus_message*)>& append = {});
    BusError setProperty(const std::string& path, const char* interface, const char* name,
                         const std::string& text, milliseconds limit);

    // Subscribes `handler` to the signals `rule` matches (a D-Bus match rule) for as long as the
    // subscription is kept; null when the bus refused the rule.
    std::unique_ptr<CSubscription> subscribe(const std::string& rule, SignalHandler handler);
    // Serves arrived signals until `deadline` or until `stop` answers true after a signal.
    void serveUntil(SteadyClock::time_point deadline, const std::function<bool()>& stop);
    // Serves whatever already arrived, without waiting.
    void servePending();

    int fd() const;
    short pollEvents() const;

    // False once the bus closed the connection (the bus itself went away).
    bool connected() const { return !lost; }

  private:
    explicit CBusConnection(sd_bus* bus) : bus(bus) {}
    CReply callTo(const char* destination, const std::string& path, const char* interface,
                  const char* member, milliseconds limit, BusError& error,
                  const std::function<int(sd_bus_message*)>& append);
    void processOnce(bool& dispatched);

    sd_bus* bus;
    bool lost = false;
};

// Reads one a{sv} dictionary at the message's position.
int readProperties(sd_bus_message* message, Properties& properties);
// Reads one a{sa{sv}} (interface → properties) at the message's position.
int readInterfaces(sd_bus_message* message, std::map<std::string, Properties>& interfaces);

}  // namespace bluezbus
