#pragma once
// The fixed OBEX requests and headers the push sends. All integers go out big-endian; every
// packet starts with its opcode and a two-byte length that counts the whole packet.

#include <cstdint>
#include <string>
#include <vector>

namespace obexa {

using Bytes = std::vector<std::uint8_t>;

void appendU16(Bytes& out, std::uint16_t value);
void appendU32(Bytes& out, std::uint32_t value);

// Type header (0x42): the media type as ASCII with a terminating zero; nothing when empty.
class CObexTypeHeader {
  public:
    explicit CObexTypeHeader(std::string type);
    virtual ~CObexTypeHeader() = default;
    const Bytes& encode() const { return encoded; }

  private:
    std::string type;
    Bytes encoded;
};

// A header identifier followed by one four-byte value: Count (0xC0) and Length (0xC3).
class CObexFourByteHeader {
  public:
    CObexFourByteHeader(std::uint8_t id, std::uint32_t value);
    virtual ~CObexFourByteHeader() = default;
    Bytes encode() const;

  private:
    std::uint8_t id;
    std::uint32_t value;
};

class CObexCountHeader : public CObexFourByteHeader {
  public:
    explicit CObexCountHeader(std::uint32_t count) : CObexFourByteHeader(0xC0, count) {}
};

class CObexLenHeader : public CObexFourByteHeader {
  public:
    explicit CObexLenHeader(std::uint32_t length) : CObexFourByteHeader(0xC3, length) {}
};

// CONNECT (17 bytes): OBEX 1.0, no flags, offering packets of up to 672 bytes, and announcing
// the number of PUT packets and the object's length.
class CObexConnect {
  public:
    static constexpr std::uint16_t offeredMaxPacket = 672;
    CObexConnect(std::int32_t fileLength, std::int32_t packetCount);
    virtual ~CObexConnect() = default;
    const Bytes& encode() const { return encoded; }

  private:
    CObexCountHeader count;
    CObexLenHeader length;
    Bytes encoded;
};

// DISCONNECT: 0x81 0x00 0x03.
class CObexDisconnect {
  public:
    virtual ~CObexDisconnect() = default;
    const Bytes& encode() const { return encoded; }

  private:
    Bytes encoded{0x81, 0x00, 0x03};
};

}  // namespace obexa
