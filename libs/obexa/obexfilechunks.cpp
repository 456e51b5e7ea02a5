#include "obexfilechunks.h"

#include <limits>

#include "boundedtext.h"

namespace obexa {

int firstPacketOverhead(std::size_t nameUnits, std::size_t typeBytes) {
    const std::size_t nameHeader = 2 * nameUnits + 5;
    const std::size_t typeHeader = typeBytes == 0 ? 0 : typeBytes + 4;
    return static_cast<int>(3 + nameHeader + typeHeader + 5 + 3);
}

CObexChunk::CObexChunk(Layout chunkLayout, const Bytes& body)
    : layout(std::move(chunkLayout)),
      typeHeader(std::make_unique<CObexTypeHeader>(layout.type)),
      bodyLength(body.size()),
      packet(layout.maxPacketLength, 0) {
    const std::size_t start = headerLength();
    if (start + body.size() <= packet.size()) {
        std::copy(body.begin(), body.end(), packet.begin() + static_cast<std::ptrdiff_t>(start));
    }
}

std::size_t CObexChunk::headerLength() const {
    if (!layout.first) {
        return laterPacketOverhead;
    }
    return static_cast<std::size_t>(firstPacketOverhead(layout.name.size(), layout.type.size()));
}

std::uint16_t CObexChunk::packetLength() const {
    if (!layout.last) {
        return layout.maxPacketLength;
    }
    return static_cast<std::uint16_t>(headerLength() + bodyLength);
}

const Bytes& CObexChunk::encode() {
    Bytes head{static_cast<std::uint8_t>(layout.last ? 0x82 : 0x02)};
    appendU16(head, packetLength());
    if (layout.first) {
        head.push_back(0x01);
        appendU16(head, static_cast<std::uint16_t>(2 * layout.name.size() + 5));
        for (const char16_t unit : layout.name) {
            appendU16(head, static_cast<std::uint16_t>(unit));
        }
        appendU16(head, 0);
        const Bytes& typeBytes = typeHeader->encode();
        head.insert(head.end(), typeBytes.begin(), typeBytes.end());
        head.push_back(0xC3);
        appendU32(head, static_cast<std::uint32_t>(layout.fileLength));
    }
    head.push_back(layout.last ? 0x49 : 0x48);
    appendU16(head, static_cast<std::uint16_t>(bodyLength + 3));
    std::copy(head.begin(), head.end(), packet.begin());
    return packet;
}

CObexFileChunks::CObexFileChunks(CLogTarget target) : log(target) {}

CObexFileChunks::~CObexFileChunks() {
    if (!log.active()) {
        return;
    }
    log.wide(path);
    log.line(" ist %d lang und braucht %d pakete.\n", length, count);
}

bool CObexFileChunks::open(std::u16string_view filePath) {
    if (!copyBounded(path, filePath, pathCapacity, log)) {
        return false;
    }
    const FileLength counted = countFileLength(path);
    if (!counted.length) {
        log.line("isFilenameOk? %s\n", counted.error.c_str());
        return false;
    }
    if (*counted.length > std::numeric_limits<std::int32_t>::max()) {
        log.line("isFilenameOk? %s\n", "File too large");
        return false;
    }
    length = static_cast<std::int32_t>(*counted.length);
    log.line("The file was opened\n");
    return true;
}

void CObexFileChunks::setName(std::u16string_view text) {
    name.assign(text);
}

void CObexFileChunks::setType(std::string text) {
    type = text.size() >= typeLimit ? std::string() : std::move(text);
}

int CObexFileChunks::overhead() const {
    return firstPacketOverhead(name.size(), type.size());
}

bool CObexFileChunks::fitsPacketLayout() const {
    if (length <= 0) {
        log.line("Objekt abgelehnt: die Datei ist leer\n");
        return false;
    }
    if (name.size() >= nameCapacity) {
        log.line("Objekt abgelehnt: der Name hat %zu Zeichen\n", name.size());
        return false;
    }
    if (overhead() >= maxPacketLength) {
        log.line("Objekt abgelehnt: %d Bytes Kopf lassen keinen Platz im Paket\n", overhead());
        return false;
    }
    return true;
}

std::int32_t CObexFileChunks::computePacketCount() const {
    const std::int64_t first = static_cast<std::int64_t>(length) + overhead();
    if (first <= maxPacketLength) {
        return 1;
    }
    const std::int64_t perPacket = maxPacketLength - laterPacketOverhead;
    return static_cast<std::int32_t>(1 + (first - maxPacketLength + perPacket - 1) / perPacket);
}

std::int64_t CObexFileChunks::bodyOffset(std::int32_t n) const {
    if (n == 1) {
        return 0;
    }
    return (maxPacketLength - overhead()) +
           static_cast<std::int64_t>(maxPacketLength - laterPacketOverhead) * (n - 2);
}

std::int64_t CObexFileChunks::bodyLength(std::int32_t n) const {
    if (count == 1) {
        return length;
    }
    if (n == count) {
        return length - bodyOffset(n);
    }
    return n == 1 ? maxPacketLength - overhead() : maxPacketLength - laterPacketOverhead;
}

std::int64_t CObexFileChunks::bodyBytesThrough(std::int32_t n) const {
    if (n < 1 || count == 0) {
        return 0;
    }
    return n >= count ? length : bodyOffset(n + 1);
}

CObexChunk* CObexFileChunks::packet(std::int32_t n) {
    current.reset();
    bodyReadFailed = false;
    if (!fitsPacketLayout()) {
        count = 0;
        return nullptr;
    }
    count = computePacketCount();
    if (n < 1 || n > count) {
        return nullptr;
    }
    auto bytes = readFileRange(path, bodyOffset(n), bodyLength(n), log);
    if (!bytes) {
        log.line("Lesen fehlgeschlagen: Paket %d\n", n);
        bodyReadFailed = true;
        return nullptr;
    }
    body = std::move(*bytes);
    log.line("Reading bytes\n");
    CObexChunk::Layout layout{n == 1, n == count, static_cast<std::uint16_t>(maxPacketLength),
                              length, name,       type};
    current = std::make_unique<CObexChunk>(std::move(layout), body);
    return current.get();
}

}  // namespace obexa
