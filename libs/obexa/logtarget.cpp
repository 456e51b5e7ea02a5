#include "logtarget.h"

#include <cstdarg>
#include <string>

#include "platform/text.h"

namespace obexa {

void CLogTarget::line(const char* format, ...) const {
    if (!active()) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stream, format, arguments);
    va_end(arguments);
    std::fflush(stream);
}

void CLogTarget::wide(std::u16string_view text) const {
    if (!active()) {
        return;
    }
    const std::string utf8 = platform::toUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

void CLogTarget::hex(const std::uint8_t* bytes, std::size_t count, std::size_t limit,
                     const char* ending) const {
    if (!active()) {
        return;
    }
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    const std::size_t shown = count < limit ? count : limit;
    text.reserve(shown * 2);
    for (std::size_t i = 0; i < shown; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    std::fputs(text.c_str(), stream);
    std::fputs(ending, stream);
    std::fflush(stream);
}

void CLogTarget::invalidParameter(const char* expression, CallSite where) const {
    line("Invalid parameter detected in function %s. File: %s Line: %u\n", where.function,
         where.file, where.line);
    line("Expression: %s\n", expression);
}

}  // namespace obexa
