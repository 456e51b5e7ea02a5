#pragma once
// The part of OBEX an Object Push server needs: request and response codes, header ids, the
// header walk of a request packet and the few responses the server sends.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace phonesim::obex {

// Requests. The high bit is the final bit; CONNECT, DISCONNECT and ABORT always carry it.
constexpr std::uint8_t connect = 0x80;
constexpr std::uint8_t disconnect = 0x81;
constexpr std::uint8_t put = 0x02;
constexpr std::uint8_t abort = 0xFF;
constexpr std::uint8_t finalBit = 0x80;

// Responses, final bit included.
constexpr std::uint8_t continueResponse = 0x90;
constexpr std::uint8_t success = 0xA0;
constexpr std::uint8_t badRequest = 0xC0;
constexpr std::uint8_t forbidden = 0xC3;
constexpr std::uint8_t entityTooLarge = 0xCD;
constexpr std::uint8_t internalServerError = 0xD0;
constexpr std::uint8_t notImplemented = 0xD1;

// Header ids. The top two bits give the encoding: 00 UTF-16BE text and 01 bytes (both with a
// two-byte length), 10 one byte, 11 a four-byte value.
constexpr std::uint8_t nameHeader = 0x01;
constexpr std::uint8_t typeHeader = 0x42;
constexpr std::uint8_t lengthHeader = 0xC3;
constexpr std::uint8_t bodyHeader = 0x48;
constexpr std::uint8_t endOfBodyHeader = 0x49;

// Every packet starts with its code and a big-endian length that counts the whole packet, so a
// packet is never longer than this.
constexpr std::size_t maxPacketLength = 65535;
constexpr std::size_t packetHeadLength = 3;
// A CONNECT request's head, version, flags and largest packet length before its headers.
constexpr std::size_t connectFieldsLength = 7;

struct Header {
    std::uint8_t id = 0;
    std::span<const std::uint8_t> bytes;  // text and byte-sequence headers: the contents
    std::uint32_t value = 0;              // one-byte and four-byte headers
};

// The headers of `data` in wire order; nothing when a header is cut short or runs past the end.
std::optional<std::vector<Header>> parseHeaders(std::span<const std::uint8_t> data);

// A response of just its code, and the Success answer to CONNECT announcing OBEX 1.0, no flags
// and the largest packet this server takes.
std::vector<std::uint8_t> response(std::uint8_t code);
std::vector<std::uint8_t> connectResponse();

// The contents of a Name header (UTF-16BE, normally ending in one null code unit) as UTF-8;
// nothing when it is not well-formed UTF-16 or holds a null before its end.
std::optional<std::string> decodeName(std::span<const std::uint8_t> bytes);

}  // namespace phonesim::obex
