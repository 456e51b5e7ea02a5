#include "obexresponse.h"

#include <string>

namespace obexa {

namespace {

struct CodeText {
    std::uint8_t code;
    const char* text;
};

constexpr CodeText codeTexts[] = {
    {0x90, "Continue"},
    {0xA0, "OK Success"},
    {0xA1, "Created"},
    {0xA2, "Accepted"},
    {0xA3, "Non-Authoritative Information"},
    {0xA4, "No Content"},
    {0xA5, "Reset Content"},
    {0xA6, "Partial Content"},
    {0xB0, "Multiple Choices"},
    {0xB1, "Moved Permanently"},
    {0xB2, "Moved temporarily"},
    {0xB3, "See Other"},
    {0xB4, "Not modified"},
    {0xB5, "Use Proxy"},
    {0xC0, "Bad Request - server couldn\u2019t understand request"},
    {0xC1, "Unauthorized"},
    {0xC2, "Payment required"},
    {0xC3, "Forbidden - operation is understood but refused"},
    {0xC4, "Not Found"},
    {0xC5, "Method not allowed"},
    {0xC6, "Not Acceptable"},
    {0xC7, "Proxy Authentication required"},
    {0xC8, "Request Time Out"},
    {0xC9, "Conflict"},
    {0xCA, "Gone"},
    {0xCB, "Length Required"},
    {0xCC, "Precondition failed"},
    {0xCD, "Requested entity too large"},
    {0xCE, "Request URL too large"},
    {0xCF, "Unsupported media type"},
    {0xD0, "Internal Server Error"},
    {0xD1, "Not Implemented"},
    {0xD2, "Bad Gateway"},
    {0xD3, "Service Unavailable"},
    {0xD4, "Gateway Timeout"},
    {0xD5, "HTTP version not supported"},
    {0xE0, "Database Full"},
    {0xE1, "Database Locked"},
};

// Where the text of an error answer's first header begins.
constexpr std::size_t errorTextOffset = 6;

}  // namespace

const char* responseCodeText(std::uint8_t code) {
    for (const CodeText& entry : codeTexts) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return nullptr;
}

CObexResponse::CObexResponse(const std::uint8_t* bytes, std::uint16_t count, CLogTarget log)
    : received(bytes, bytes + count), target(log) {}

std::uint8_t CObexResponse::at(std::size_t offset) const {
    return offset < received.size() ? received[offset] : 0;
}

void CObexResponse::log() const {
    const char* text = received.empty() ? nullptr : responseCodeText(received[0]);
    target.line("der ResponseCode %s\n", text == nullptr ? "" : text);
    target.line("die Packlen %d\n", (at(1) << 8) | at(2));
}

void CObexConnectResponse::log() const {
    CObexResponse::log();
    target.line("die Flags %d\n", at(4));
    target.line("die Obexversion %d\n", at(3));
    target.line("die Maxpacklen %d\n", (at(5) << 8) | at(6));
}

void CObexErrResponse::log() const {
    CObexResponse::log();
    if (received.size() <= errorTextOffset) {
        return;
    }
    // Big-endian UTF-16 from the phone; an odd trailing byte is dropped and unpaired
    // surrogates become replacement characters when written.
    std::u16string text;
    for (std::size_t i = errorTextOffset; i + 1 < received.size(); i += 2) {
        const auto unit = static_cast<char16_t>((received[i] << 8) | received[i + 1]);
        if (unit == 0) {
            break;
        }
        text += unit;
    }
    target.line("Errtex ");
    target.wide(text);
    target.line("\n");
}

}  // namespace obexa
