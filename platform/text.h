#pragma once
// Text helpers: the station keeps UTF-8 inside and UTF-16 where files and wire formats need it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// UTF-8 to UTF-16. Invalid bytes become U+FFFD, so untrusted input never throws.
std::u16string toUtf16(std::string_view utf8);
// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string toUtf8(std::u16string_view utf16);
// UTF-16 code units of a UTF-8 text, the unit in which names are measured and cut.
std::size_t utf16Length(std::string_view utf8);
// The first `units` UTF-16 code units of a UTF-8 text (never splits a surrogate pair).
std::string cutUtf16(std::string_view utf8, std::size_t units);
// UTF-16LE bytes (no byte-order mark) of a UTF-8 text.
std::string toUtf16leBytes(std::string_view utf8);

// Decimal conversion in the manner of the C library's wcstol/_wtoi64: leading white space
// skipped, optional sign, digits up to the first non-digit; no digits gives 0. Saturates.
std::int64_t parseLeadingInt64(std::string_view text);
std::int32_t parseLeadingInt32(std::string_view text);
// A decimal number as files write it ("0.05", "-2", "1e3"), read the same in every locale: the
// whole text and nothing else. Nothing for any other text and for values that are not finite.
std::optional<double> parseDecimal(std::string_view text);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toLowerAscii(std::string_view text);
std::string trim(std::string_view text);

}  // namespace platform
