#include "tools/phonesim/hostile.h"

#include <algorithm>

#include "tools/phonesim/obex.h"

namespace phonesim {

namespace {

void setLength(std::vector<std::uint8_t>& answer, std::size_t length) {
    answer[1] = static_cast<std::uint8_t>(length >> 8);
    answer[2] = static_cast<std::uint8_t>(length);
}

bool isPut(std::span<const std::uint8_t> request) {
    return !request.empty() && (request[0] & ~obex::finalBit) == obex::put;
}

}  // namespace

std::optional<Hostility> parseHostility(const std::string& text) {
    static const std::pair<const char*, Hostility> names[] = {
        {"noise", Hostility::noise},         {"trickle", Hostility::trickle},
        {"lielong", Hostility::lieLong},     {"lieshort", Hostility::lieShort},
        {"liebelow3", Hostility::lieBelow3}, {"oversize", Hostility::oversize},
        {"cutoff", Hostility::cutOff},       {"flood", Hostility::flood},
    };
    for (const auto& [name, mode] : names) {
        if (text == name) {
            return mode;
        }
    }
    return std::nullopt;
}

// The object is cut on its second PUT packet, or on its first when that is its last: the
// phone has begun to take it and never finishes.
bool HostileAnswers::hangsUpAt(std::span<const std::uint8_t> request) {
    if (mode != Hostility::cutOff || !isPut(request)) {
        return false;
    }
    ++putsSeen;
    return putsSeen == 2 || (request[0] & obex::finalBit) != 0;
}

std::vector<WirePiece> HostileAnswers::answer(const Reply& honest) {
    std::vector<std::uint8_t> bytes = honest.bytes;
    switch (mode) {
        case Hostility::noise:
            return {{noiseAnswer()}};
        case Hostility::trickle: {
            std::vector<WirePiece> pieces;
            for (const std::uint8_t byte : bytes) {
                pieces.push_back({{byte}, tricklePause});
            }
            return pieces;
        }
        case Hostility::lieLong:
            setLength(bytes, std::min(bytes.size() + lieLongExcess, obex::maxPacketLength));
            return {{bytes}};
        case Hostility::lieShort:
            // The length covers the head alone; a Forbidden answer follows as if it belonged.
            setLength(bytes, obex::packetHeadLength);
            bytes.insert(bytes.end(), {obex::forbidden, 0x00, 0x03});
            return {{bytes}};
        case Hostility::lieBelow3:
            setLength(bytes, 0);
            return {{bytes}};
        case Hostility::oversize: {
            // Padded with one Description header (0x05, text) as long as the packet allows.
            const std::size_t padding = obex::maxPacketLength - bytes.size();
            bytes.push_back(0x05);
            bytes.push_back(static_cast<std::uint8_t>(padding >> 8));
            bytes.push_back(static_cast<std::uint8_t>(padding));
            bytes.resize(obex::maxPacketLength, 0x00);
            setLength(bytes, obex::maxPacketLength);
            return {{bytes}};
        }
        case Hostility::cutOff:
            return {{bytes}};
        case Hostility::flood:
            return {};
    }
    return {};
}

// 16 to 64 bytes of noise that never begin with Continue or Success.
std::vector<std::uint8_t> HostileAnswers::noiseAnswer() {
    std::vector<std::uint8_t> bytes(16 + noise() % 49);
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(noise());
    }
    if (bytes[0] == obex::continueResponse || bytes[0] == obex::success) {
        bytes[0] ^= 0x01;
    }
    return bytes;
}

std::vector<std::uint8_t> HostileAnswers::floodChunk() {
    return std::vector<std::uint8_t>(16384, 0xFF);
}

}  // namespace phonesim
