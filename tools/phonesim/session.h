#pragma once
// The server side of one OBEX connection to a simulated phone: it takes whole request packets
// and answers them the way the phone is set to, storing every object it accepts in the phone's
// folder. Headers may come in any order and an object may span any number of PUT packets; the
// Length header is optional, but when given the object must have exactly that many bytes.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/phonesim/inbox.h"

namespace phonesim {

// Called with one line per event; must be safe to call from several connections at once.
using EventSink = std::function<void(const std::string&)>;

struct Reply {
    std::vector<std::uint8_t> bytes;
    bool endsConnection = false;  // the answer to DISCONNECT: close once it is sent
};

class ObexSession {
  public:
    struct Settings {
        std::filesystem::path folder;  // the phone's inbox folder, which exists
        std::string phone;             // how events name the phone
        bool refuseObjects = false;    // answer the first PUT packet of every object Forbidden
        std::uint64_t maxObjectSize = 64ULL << 20;
    };

    ObexSession(Settings settings, EventSink events);
    ~ObexSession();
    ObexSession(const ObexSession&) = delete;
    ObexSession& operator=(const ObexSession&) = delete;

    // `packet` is one whole request: code, length, the rest.
    Reply handle(std::span<const std::uint8_t> packet);
    // An object was begun and not yet stored or refused: the next PUT continues it.
    bool objectInProgress() const { return object.has_value(); }

  private:
    // What the PUT packets of the object in progress told so far.
    struct Object {
        // Declared, so that clang sees the type as default-constructible inside this class.
        Object() {}
        std::optional<std::string> name;
        std::optional<std::uint32_t> declaredLength;
        std::unique_ptr<IncomingObject> file;
        bool sawBody = false;
    };
    struct Refusal {
        std::uint8_t code;
        std::string reason;
    };

    Reply put(std::span<const std::uint8_t> packet, bool final);
    std::optional<Refusal> takeHeaders(std::span<const std::uint8_t> headerBytes);
    std::optional<Refusal> takeName(std::span<const std::uint8_t> bytes);
    std::optional<Refusal> takeBody(std::span<const std::uint8_t> bytes);
    std::optional<Refusal> checkComplete() const;
    Reply finish();
    Reply refuse(const Refusal& refusal);
    std::string nameForEvents() const;
    void report(const std::string& text) const;

    Settings settings;
    EventSink events;
    std::optional<Object> object;  // set from the first PUT packet of an object to its end
    std::string lastRawName;       // the name as received, for events about refused names
};

}  // namespace phonesim
