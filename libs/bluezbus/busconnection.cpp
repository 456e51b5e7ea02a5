#include "busconnection.h"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace bluezbus {

namespace {

constexpr const char* busName = "org.freedesktop.DBus";
constexpr const char* busPath = "/org/freedesktop/DBus";
constexpr milliseconds busAnswerLimit{2000};

std::uint64_t microseconds(milliseconds limit) {
    return static_cast<std::uint64_t>(std::max<milliseconds::rep>(limit.count(), 1)) * 1000;
}

std::string errorText(int error, const sd_bus_error& busError) {
    if (busError.name != nullptr) {
        return std::string(busError.name) + ": " + (busError.message ? busError.message : "");
    }
    return std::strerror(error);
}

class CBusError {
  public:
    ~CBusError() { sd_bus_error_free(&error); }
    sd_bus_error* get() { return &error; }
    const sd_bus_error& value() const { return error; }

  private:
    sd_bus_error error = SD_BUS_ERROR_NULL;
};

class CMessage {
  public:
    ~CMessage() { sd_bus_message_unref(message); }
    sd_bus_message** out() { return &message; }
    sd_bus_message* get() const { return message; }
    sd_bus_message* release() { return std::exchange(message, nullptr); }

  private:
    sd_bus_message* message = nullptr;
};

bool isStringType(char type) {
    return type == 's' || type == 'o' || type == 'g';
}

// Reads the variant's basic value at the message's position; other types are skipped.
int readVariant(sd_bus_message* message, PropertyValue& value) {
    char type = 0;
    const char* contents = nullptr;
    int r = sd_bus_message_peek_type(message, &type, &contents);
    if (r <= 0 || type != 'v' || contents == nullptr) {
        return r < 0 ? r : -EBADMSG;
    }
    if (std::strlen(contents) != 1) {
        return sd_bus_message_skip(message, "v");
    }
    if ((r = sd_bus_message_enter_container(message, 'v', contents)) < 0) {
        return r;
    }
    const char basic = contents[0];
    if (isStringType(basic)) {
        const char* text = nullptr;
        r = sd_bus_message_read_basic(message, basic, &text);
        value = std::string(text != nullptr ? text : "");
    } else if (basic == 'b') {
        int flag = 0;
        r = sd_bus_message_read_basic(message, 'b', &flag);
        value = flag != 0;
    } else if (std::strchr("ynqiuxt", basic) != nullptr) {
        // Wide enough for each integer type; read_basic fills only the type's own width.
        union {
            std::uint8_t y;
            std::int16_t n;
            std::uint16_t q;
            std::int32_t i;
            std::uint32_t u;
            std::int64_t x;
            std::uint64_t t;
        } number{};
        r = sd_bus_message_read_basic(message, basic, &number);
        switch (basic) {
            case 'y':
                value = std::int64_t{number.y};
                break;
            case 'n':
                value = std::int64_t{number.n};
                break;
            case 'q':
                value = std::int64_t{number.q};
                break;
            case 'i':
                value = std::int64_t{number.i};
                break;
            case 'u':
                value = std::int64_t{number.u};
                break;
            case 'x':
                value = number.x;
                break;
            default:
                value = static_cast<std::int64_t>(number.t);
                break;
        }
    } else {
        r = sd_bus_message_skip(message, contents);
    }
    if (r < 0) {
        return r;
    }
    return sd_bus_message_exit_container(message);
}

int dispatchSignal(sd_bus_message* message, void* handler, sd_bus_error*) {
    (*static_cast<SignalHandler*>(handler))(message);
    return 0;
}

}  // namespace

std::string textOf(const Properties& properties, const std::string& name) {
    const auto found = properties.find(name);
    if (found == properties.end()) {
        return {};
    }
    const auto* text = std::get_if<std::string>(&found->second);
    return text != nullptr ? *text : std::string();
}

bool hasProperty(const Properties& properties, const std::string& name) {
    return properties.count(name) != 0;
}

bool flagOf(const Properties& properties, const std::string& name) {
    const auto found = properties.find(name);
    if (found == properties.end()) {
        return false;
    }
    const auto* flag = std::get_if<bool>(&found->second);
    return flag != nullptr && *flag;
}

std::int64_t numberOf(const Properties& properties, const std::string& name) {
    const auto found = properties.find(name);
    if (found == properties.end()) {
        return -1;
    }
    const auto* number = std::get_if<std::int64_t>(&found->second);
    return number != nullptr ? *number : -1;
}

int readProperties(sd_bus_message* message, Properties& properties) {
    int r = sd_bus_message_enter_container(message, 'a', "{sv}");
    if (r < 0) {
        return r;
    }
    while ((r = sd_bus_message_enter_container(message, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read_basic(message, 's', &name)) < 0) {
            return r;
        }
        PropertyValue value;
        if ((r = readVariant(message, value)) < 0) {
            return r;
        }
        properties[name] = std::move(value);
        if ((r = sd_bus_message_exit_container(message)) < 0) {
            return r;
        }
    }
    if (r < 0) {
        return r;
    }
    return sd_bus_message_exit_container(message);
}

int readInterfaces(sd_bus_message* message, std::map<std::string, Properties>& interfaces) {
    int r = sd_bus_message_enter_container(message, 'a', "{sa{sv}}");
    if (r < 0) {
        return r;
    }
    while ((r = sd_bus_message_enter_container(message, 'e', "sa{sv}")) > 0) {
        const char* name = nullptr;
        if ((r = sd_bus_message_read_basic(message, 's', &name)) < 0) {
            return r;
        }
        Properties& properties = interfaces[name];
        if ((r = readProperties(message, properties)) < 0) {
            return r;
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

CReply::~CReply() {
    sd_bus_message_unref(message);
}

CReply& CReply::operator=(CReply&& other) noexcept {
    if (this != &other) {
        sd_bus_message_unref(message);
        message = std::exchange(other.message, nullptr);
    }
    return *this;
}

CSubscription::~CSubscription() {
    sd_bus_slot_unref(slot);
}

std::unique_ptr<CBusConnection> CBusConnection::openSystem(BusError& error) {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_system(&bus);
    if (r < 0) {
        error = {-r, std::string("no system bus: ") + std::strerror(-r)};
        return nullptr;
    }
    // The bus's own answers (to subscriptions) are bounded as well; sd-bus waits 25 s otherwise.
    sd_bus_set_method_call_timeout(bus, microseconds(busAnswerLimit));
    return std::unique_ptr<CBusConnection>(new CBusConnection(bus));
}

CBusConnection::~CBusConnection() {
    sd_bus_flush_close_unref(bus);
}

bool CBusConnection::serviceRunning(milliseconds limit) {
    BusError error;
    const CReply reply =
        callTo(busName, busPath, busName, "NameHasOwner", limit, error,
               [](sd_bus_message* m) { return sd_bus_message_append_basic(m, 's', serviceName); });
    int owned = 0;
    return reply.get() != nullptr && sd_bus_message_read_basic(reply.get(), 'b', &owned) >= 0 &&
           owned != 0;
}

CReply CBusConnection::call(const std::string& path, const char* interface, const char* member,
                            milliseconds limit, BusError& error,
                            const std::function<int(sd_bus_message*)>& append) {
    return callTo(serviceName, path, interface, member, limit, error, append);
}

CReply CBusConnection::callTo(const char* destination, const std::string& path,
                              const char* interface, const char* member, milliseconds limit,
                              BusError& error, const std::function<int(sd_bus_message*)>& append) {
    CMessage request;
    int r = sd_bus_message_new_method_call(bus, request.out(), destination, path.c_str(), interface,
                                           member);
    if (r >= 0) {
        r = sd_bus_message_set_auto_start(request.get(), 0);
    }
    if (r >= 0 && append) {
        r = append(request.get());
    }
    if (r < 0) {
        error = {-r, std::string(member) + ": " + std::strerror(-r)};
        return {};
    }
    CBusError busError;
    CMessage reply;
    r = sd_bus_call(bus, request.get(), microseconds(limit), busError.get(), reply.out());
    if (r < 0) {
        if (r == -ECONNRESET || r == -ENOTCONN) {
            lost = true;
        }
        error = {-r, std::string(member) + ": " + errorText(-r, busError.value())};
        return {};
    }
    return CReply(reply.release());
}

BusError CBusConnection::setProperty(const std::string& path, const char* interface,
                                     const char* name, const std::string& text,
                                     milliseconds limit) {
    BusError error;
    call(path, "org.freedesktop.DBus.Properties", "Set", limit, error, [&](sd_bus_message* m) {
        return sd_bus_message_append(m, "ssv", interface, name, "s", text.c_str());
    });
    return error;
}

std::unique_ptr<CSubscription> CBusConnection::subscribe(const std::string& rule,
                                                         SignalHandler handler) {
    auto subscription = std::make_unique<CSubscription>(std::move(handler));
    if (sd_bus_add_match(bus, &subscription->slot, rule.c_str(), &dispatchSignal,
                         &subscription->handler) < 0) {
        return nullptr;
    }
    return subscription;
}

void CBusConnection::processOnce(bool& dispatched) {
    const int r = sd_bus_process(bus, nullptr);
    if (r < 0) {
        lost = true;
    }
    dispatched = r > 0;
}

void CBusConnection::serveUntil(SteadyClock::time_point deadline,
                                const std::function<bool()>& stop) {
    while (!lost) {
        bool dispatched = false;
        processOnce(dispatched);
        if (lost || (stop && stop())) {
            return;
        }
        // A flood of signals must not hold the caller past its deadline either.
        const auto left = deadline - SteadyClock::now();
        if (left <= SteadyClock::duration::zero()) {
            return;
        }
        if (dispatched) {
            continue;
        }
        const auto wait = std::chrono::duration_cast<std::chrono::microseconds>(left).count() + 1;
        if (sd_bus_wait(bus, static_cast<std::uint64_t>(wait)) < 0) {
            lost = true;
        }
    }
}

void CBusConnection::servePending() {
    bool dispatched = true;
    while (dispatched && !lost) {
        processOnce(dispatched);
    }
}

int CBusConnection::fd() const {
    return sd_bus_get_fd(bus);
}

short CBusConnection::pollEvents() const {
    const int events = sd_bus_get_events(bus);
    return static_cast<short>(events < 0 ? 0 : events);
}

}  // namespace bluezbus
