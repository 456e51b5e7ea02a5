#include "obexheaders.h"

namespace obexa {

void appendU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void appendU32(Bytes& out, std::uint32_t value) {
    appendU16(out, static_cast<std::uint16_t>(value >> 16));
    appendU16(out, static_cast<std::uint16_t>(value));
}

CObexTypeHeader::CObexTypeHeader(std::string text) : type(std::move(text)) {
    if (type.empty()) {
        return;
    }
    encoded.push_back(0x42);
    appendU16(encoded, static_cast<std::uint16_t>(type.size() + 4));
    encoded.insert(encoded.end(), type.begin(), type.end());
    encoded.push_back(0x00);
}

CObexFourByteHeader::CObexFourByteHeader(std::uint8_t headerId, std::uint32_t headerValue)
    : id(headerId), value(headerValue) {}

Bytes CObexFourByteHeader::encode() const {
    Bytes out{id};
    appendU32(out, value);
    return out;
}

CObexConnect::CObexConnect(std::int32_t fileLength, std::int32_t packetCount)
    : count(static_cast<std::uint32_t>(packetCount)),
      length(static_cast<std::uint32_t>(fileLength)) {
    encoded = {0x80, 0x00, 0x11, 0x10, 0x00};
    appendU16(encoded, offeredMaxPacket);
    const Bytes countBytes = count.encode();
    const Bytes lengthBytes = length.encode();
    encoded.insert(encoded.end(), countBytes.begin(), countBytes.end());
    encoded.insert(encoded.end(), lengthBytes.begin(), lengthBytes.end());
}

}  // namespace obexa
