#include "tools/phonesim/session.h"

#include <system_error>

#include "tools/phonesim/obex.h"

namespace phonesim {

namespace {

// Control characters shown as '?', so a name from the wire cannot forge an event line.
std::string printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return shown;
}

}  // namespace

ObexSession::ObexSession(Settings s, EventSink e) : settings(std::move(s)), events(std::move(e)) {}

ObexSession::~ObexSession() {
    if (object) {
        report("dropped " + nameForEvents() + " (connection ended mid-object)");
    }
}

Reply ObexSession::handle(std::span<const std::uint8_t> packet) {
    const std::uint8_t code = packet[0];
    switch (code) {
        case obex::connect:
            // Version, flags and the client's largest packet must be there; any headers after
            // them (the station's Count and Length) need no answer.
            if (packet.size() < obex::connectFieldsLength) {
                return {obex::response(obex::badRequest), false};
            }
            return {obex::connectResponse(), false};
        case obex::disconnect:
            if (object) {
                report("dropped " + nameForEvents() + " (disconnected mid-object)");
            }
            object.reset();
            return {obex::response(obex::success), true};
        case obex::abort:
            object.reset();
            return {obex::response(obex::success), false};
        case obex::put:
        case obex::put | obex::finalBit:
            return put(packet, (code & obex::finalBit) != 0);
        default:
            // GET, SETPATH and the rest are not part of Object Push; an unfinished object is
            // abandoned, as any answer but Continue ends the operation in progress.
            object.reset();
            return {obex::response(obex::notImplemented), false};
    }
}

Reply ObexSession::put(std::span<const std::uint8_t> packet, bool final) {
    if (!object) {
        object.emplace();
        lastRawName.clear();
    }
    if (auto refusal = takeHeaders(packet.subspan(obex::packetHeadLength))) {
        return refuse(*refusal);
    }
    if (settings.refuseObjects) {
        return refuse({obex::forbidden, ""});
    }
    if (!final) {
        return {obex::response(obex::continueResponse), false};
    }
    if (auto refusal = checkComplete()) {
        return refuse(*refusal);
    }
    return finish();
}

std::optional<ObexSession::Refusal> ObexSession::takeHeaders(
    std::span<const std::uint8_t> headerBytes) {
    const auto headers = obex::parseHeaders(headerBytes);
    if (!headers) {
        return Refusal{obex::badRequest, "malformed headers"};
    }
    // The name first, wherever it stands, so that every refusal can name the object.
    for (const auto& header : *headers) {
        if (header.id == obex::nameHeader) {
            if (auto refusal = takeName(header.bytes)) {
                return refusal;
            }
        }
    }
    for (const auto& header : *headers) {
        if (header.id == obex::lengthHeader) {
            object->declaredLength = header.value;
            if (header.value > settings.maxObjectSize) {
                return Refusal{obex::entityTooLarge, "object too large"};
            }
        }
    }
    if (settings.refuseObjects) {
        return std::nullopt;
    }
    for (const auto& header : *headers) {
        if (header.id == obex::bodyHeader || header.id == obex::endOfBodyHeader) {
            if (auto refusal = takeBody(header.bytes)) {
                return refusal;
            }
        }
    }
    return std::nullopt;
}

std::optional<ObexSession::Refusal> ObexSession::takeName(std::span<const std::uint8_t> bytes) {
    const auto name = obex::decodeName(bytes);
    if (!name) {
        lastRawName = "(not UTF-16)";
        return Refusal{obex::badRequest, "name is not valid UTF-16"};
    }
    lastRawName = *name;
    if (auto problem = nameProblem(*name)) {
        return Refusal{obex::forbidden, *problem};
    }
    object->name = *name;
    return std::nullopt;
}

std::optional<ObexSession::Refusal> ObexSession::takeBody(std::span<const std::uint8_t> bytes) {
    object->sawBody = true;
    const std::uint64_t size = object->file ? object->file->size() : 0;
    if (size + bytes.size() > settings.maxObjectSize) {
        return Refusal{obex::entityTooLarge, "object too large"};
    }
    try {
        if (!object->file) {
            object->file = std::make_unique<IncomingObject>(settings.folder);
        }
    } catch (const std::system_error& error) {
        return Refusal{obex::internalServerError, error.what()};
    }
    if (!object->file->append(bytes)) {
        return Refusal{obex::internalServerError, "cannot write the object"};
    }
    return std::nullopt;
}

std::optional<ObexSession::Refusal> ObexSession::checkComplete() const {
    if (!object->name) {
        return Refusal{obex::badRequest, "no name"};
    }
    if (!object->sawBody) {
        // A PUT without any body asks to delete the object, which a phone's inbox does not offer.
        return Refusal{obex::forbidden, "delete request"};
    }
    const std::uint64_t size = object->file ? object->file->size() : 0;
    if (object->declaredLength && *object->declaredLength != size) {
        return Refusal{obex::badRequest, "announced " + std::to_string(*object->declaredLength) +
                                             " bytes, received " + std::to_string(size)};
    }
    return std::nullopt;
}

Reply ObexSession::finish() {
    const std::string name = *object->name;
    if (!object->file) {
        // An empty object: its End of Body carried nothing.
        try {
            object->file = std::make_unique<IncomingObject>(settings.folder);
        } catch (const std::system_error& error) {
            return refuse({obex::internalServerError, error.what()});
        }
    }
    const std::uint64_t size = object->file->size();
    if (!object->file->store(name)) {
        return refuse({obex::internalServerError, "cannot store the object"});
    }
    object.reset();
    report("stored " + name + " (" + std::to_string(size) + " bytes)");
    return {obex::response(obex::success), false};
}

Reply ObexSession::refuse(const Refusal& refusal) {
    // Any answer but Continue ends the PUT operation; a client that sends more body packets
    // starts a new object, which then has no name and is refused in turn.
    object.reset();
    std::string line = "refused " + nameForEvents();
    if (!refusal.reason.empty()) {
        line += " (" + refusal.reason + ")";
    }
    report(line);
    return {obex::response(refusal.code), false};
}

std::string ObexSession::nameForEvents() const {
    if (lastRawName.empty()) {
        return "(no name)";
    }
    return printable(lastRawName);
}

void ObexSession::report(const std::string& text) const {
    if (events) {
        events(settings.phone + " " + text);
    }
}

}  // namespace phonesim
