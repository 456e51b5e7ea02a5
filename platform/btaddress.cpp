#include "btaddress.h"

#include <cstdio>

namespace platform::btaddress {

namespace {

std::string format(std::uint64_t address, const char* pattern) {
    const Bytes b = toBytes(address);
    char text[18];
    std::snprintf(text, sizeof text, pattern, b[5], b[4], b[3], b[2], b[1], b[0]);
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

Bytes toBytes(std::uint64_t address) {
    Bytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(address >> (8 * i));
    }
    return bytes;
}

std::uint64_t fromBytes(const Bytes& bytes) {
    std::uint64_t address = 0;
    for (std::size_t i = bytes.size(); i-- > 0;) {
        address = (address << 8) | bytes[i];
    }
    return address;
}

std::string withColons(std::uint64_t address) {
    return format(address, "%2.2X:%2.2X:%2.2X:%2.2X:%2.2X:%2.2X");
}

std::string plain(std::uint64_t address) {
    return format(address, "%2.2X%2.2X%2.2X%2.2X%2.2X%2.2X");
}

std::optional<std::uint64_t> parse(std::string_view text) {
    if (text.size() != 17) {
        return std::nullopt;
    }
    std::uint64_t address = 0;
    for (std::size_t i = 0; i < text.size(); i += 3) {
        const int high = hexDigit(text[i]);
        const int low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0 || (i + 2 < text.size() && text[i + 2] != ':')) {
            return std::nullopt;
        }
        address = (address << 8) | static_cast<std::uint64_t>(high * 16 + low);
    }
    return address;
}

}  // namespace platform::btaddress
