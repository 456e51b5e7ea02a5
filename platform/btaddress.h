#pragma once
// The one set of Bluetooth address conversions. An address is 48 bits in a std::uint64_t (upper
// two bytes 0), the way the device records hold it; as six bytes it runs least significant
// first, as the records and BlueZ's bdaddr_t lay it out; as text it runs most significant first:
// "00:1A:7D:DA:71:13" with colons, "001A7DDA7113" without. The BlueZ form is in
// platform/btaddress_bluez.h, so that only its users need BlueZ's headers.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::btaddress {

// Least significant byte first.
using Bytes = std::array<std::uint8_t, 6>;

Bytes toBytes(std::uint64_t address);
std::uint64_t fromBytes(const Bytes& bytes);

// "00:1A:7D:DA:71:13".
std::string withColons(std::uint64_t address);
// "001A7DDA7113".
std::string plain(std::uint64_t address);
// The address of a text in colon form (hexadecimal digits in either case); nothing for any other
// text.
std::optional<std::uint64_t> parse(std::string_view withColons);

}  // namespace platform::btaddress
