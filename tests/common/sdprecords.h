#pragma once
// SDP data elements written out byte by byte, to build the service records a phone's SDP server
// sends: Object Push and file-transfer records with their RFCOMM channel, and the AttributeLists
// sequence that carries them.

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace sdprecords {

using Bytes = std::vector<std::uint8_t>;

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

inline Bytes u8(std::uint8_t value) {
    return {0x08, value};
}
inline Bytes u16(std::uint16_t value) {
    return {0x09, std::uint8_t(value >> 8), std::uint8_t(value)};
}
inline Bytes u32(std::uint32_t value) {
    return {0x0A, std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
            std::uint8_t(value)};
}
inline Bytes uuid16(std::uint16_t value) {
    return {0x19, std::uint8_t(value >> 8), std::uint8_t(value)};
}
// A 16-bit UUID written in its 128-bit form on the Bluetooth base UUID.
inline Bytes uuid128(std::uint16_t value) {
    return {0x1C,
            0x00,
            0x00,
            std::uint8_t(value >> 8),
            std::uint8_t(value),
            0x00,
            0x00,
            0x10,
            0x00,
            0x80,
            0x00,
            0x00,
            0x80,
            0x5F,
            0x9B,
            0x34,
            0xFB};
}
// A sequence with a one-byte length (0x35), or a two-byte one (0x36) when `wide`.
inline Bytes sequence(const Bytes& content, bool wide = false) {
    Bytes all = wide ? Bytes{0x36, std::uint8_t(content.size() >> 8), std::uint8_t(content.size())}
                     : Bytes{0x35, std::uint8_t(content.size())};
    all.insert(all.end(), content.begin(), content.end());
    return all;
}

constexpr std::uint16_t objectPush = 0x1105;
constexpr std::uint16_t fileTransfer = 0x1106;

// A service record: handle, the class list with `serviceClass` (as given: 16- or 128-bit form)
// and the protocol list L2CAP, RFCOMM `channel` (none when 0), OBEX.
inline Bytes serviceRecord(std::uint32_t handle, const Bytes& serviceClass, int channel) {
    const Bytes rfcomm =
        channel > 0 ? sequence(join({uuid16(0x0003), u8(std::uint8_t(channel))})) : Bytes{};
    const Bytes protocols =
        sequence(join({sequence(uuid16(0x0100)), rfcomm, sequence(uuid16(0x0008))}));
    return sequence(join(
        {u16(0x0000), u32(handle), u16(0x0001), sequence(serviceClass), u16(0x0004), protocols}));
}

inline Bytes objectPushRecord(int channel) {
    return serviceRecord(0x10001, uuid16(objectPush), channel);
}

}  // namespace sdprecords
