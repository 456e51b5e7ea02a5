#pragma once
// The object being pushed, cut into PUT packets. Packet 1 carries the Name, Type and Length
// headers before its body; every later packet carries only a Body (or, last, End of Body).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "logtarget.h"
#include "obexheaders.h"

namespace obexa {

// Header bytes of the first packet for a name of `nameUnits` code units and a type of
// `typeBytes` bytes: packet head, Name, Type (when present), Length and the Body head.
int firstPacketOverhead(std::size_t nameUnits, std::size_t typeBytes);
// Packet head plus Body head of every later packet.
constexpr int laterPacketOverhead = 6;

// One PUT packet: the body is placed at creation, the headers in front of it by encode().
class CObexChunk {
  public:
    struct Layout {
        bool first = false;
        bool last = false;
        std::uint16_t maxPacketLength = 0;
        std::int32_t fileLength = 0;
        std::u16string name;
        std::string type;
    };
    CObexChunk(Layout layout, const Bytes& body);
    virtual ~CObexChunk() = default;

    std::uint16_t packetLength() const;
    const Bytes& encode();

  private:
    std::size_t headerLength() const;

    Layout layout;
    std::unique_ptr<CObexTypeHeader> typeHeader;
    std::size_t bodyLength;
    Bytes packet;
};

class CObexFileChunks {
  public:
    static constexpr std::size_t pathCapacity = 255;  // 254 characters and the terminator
    static constexpr std::size_t nameCapacity = 230;
    static constexpr std::size_t typeLimit = 255;

    explicit CObexFileChunks(CLogTarget log);
    virtual ~CObexFileChunks();
    CObexFileChunks(const CObexFileChunks&) = delete;
    CObexFileChunks& operator=(const CObexFileChunks&) = delete;

    bool open(std::u16string_view path);
    void setMaxPacketLength(std::int32_t length) { maxPacketLength = length; }
    void setName(std::u16string_view text);
    // A type of 255 characters or more is dropped: the packets then carry no Type header.
    void setType(std::string text);
    // False, with the reason logged, for objects the packet layout cannot carry: an empty file,
    // a name of 230 code units or more, or first-packet headers that leave no room for a body.
    bool fitsPacketLayout() const;
    // Whether packets of `length` bytes leave room for a body after the first packet's headers.
    bool leavesRoomForBody(std::int32_t length) const { return overhead() < length; }

    // Packet n (1-based) as the current packet; none past the last packet or when the body
    // could not be read again (readFailed() tells which).
    CObexChunk* packet(std::int32_t n);
    std::int32_t packetCount() const { return count; }
    bool readFailed() const { return bodyReadFailed; }
    std::int32_t fileLength() const { return length; }
    // The file bytes carried by packets 1 to n of the current layout.
    std::int64_t bodyBytesThrough(std::int32_t n) const;

  private:
    int overhead() const;
    std::int32_t computePacketCount() const;
    std::int64_t bodyOffset(std::int32_t n) const;
    std::int64_t bodyLength(std::int32_t n) const;

    CLogTarget log;
    std::u16string path;
    std::u16string name;
    std::string type;
    std::int32_t length = 0;
    std::int32_t maxPacketLength = 0;
    std::int32_t count = 0;
    bool bodyReadFailed = false;
    std::unique_ptr<CObexChunk> current;
    Bytes body;
};

}  // namespace obexa
