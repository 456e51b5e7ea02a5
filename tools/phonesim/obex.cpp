#include "tools/phonesim/obex.h"

#include "platform/text.h"

namespace phonesim::obex {

namespace {

std::uint16_t bigEndian16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool wellFormed(const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == 0 || isLowSurrogate(text[i])) {
            return false;
        }
        if (isHighSurrogate(text[i])) {
            if (i + 1 == text.size() || !isLowSurrogate(text[i + 1])) {
                return false;
            }
            ++i;
        }
    }
    return true;
}

}  // namespace

std::optional<std::vector<Header>> parseHeaders(std::span<const std::uint8_t> data) {
    std::vector<Header> headers;
    std::size_t at = 0;
    while (at < data.size()) {
        Header header;
        header.id = data[at];
        const std::size_t left = data.size() - at;
        switch (header.id >> 6) {
            case 0:
            case 1: {
                if (left < 3) {
                    return std::nullopt;
                }
                const std::size_t length = bigEndian16(&data[at + 1]);
                if (length < 3 || length > left) {
                    return std::nullopt;
                }
                header.bytes = data.subspan(at + 3, length - 3);
                at += length;
                break;
            }
            case 2:
                if (left < 2) {
                    return std::nullopt;
                }
                header.value = data[at + 1];
                at += 2;
                break;
            default:
                if (left < 5) {
                    return std::nullopt;
                }
                header.value = bigEndian32(&data[at + 1]);
                at += 5;
                break;
        }
        headers.push_back(header);
    }
    return headers;
}

std::vector<std::uint8_t> response(std::uint8_t code) {
    return {code, 0x00, 0x03};
}

std::vector<std::uint8_t> connectResponse() {
    constexpr std::uint8_t version = 0x10;
    constexpr std::uint8_t flags = 0x00;
    return {success,
            0x00,
            0x07,
            version,
            flags,
            static_cast<std::uint8_t>(maxPacketLength >> 8),
            static_cast<std::uint8_t>(maxPacketLength & 0xFF)};
}

std::optional<std::string> decodeName(std::span<const std::uint8_t> bytes) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    std::u16string text;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bigEndian16(&bytes[i])));
    }
    if (!text.empty() && text.back() == 0) {
        text.pop_back();
    }
    if (!wellFormed(text)) {
        return std::nullopt;
    }
    return platform::toUtf8(text);
}

}  // namespace phonesim::obex
