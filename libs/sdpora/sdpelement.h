#pragma once
// SDP data elements as they travel in service records: a type and size descriptor byte, an
// optional length, then the value. Records come from phones, so every read is bounds-checked and
// a malformed element is refused, never read past.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace sdpora {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

enum class ElementType {
    nil,
    unsignedInt,
    signedInt,
    uuid,
    text,
    boolean,
    sequence,
    alternative,
    url
};

struct Element {
    ElementType type = ElementType::nil;
    ByteView whole;  // descriptor, length and value
    ByteView value;  // the value; for sequences and alternatives the elements they hold
};

// The element at the start of `stream`, or nothing when its descriptor is not a valid one or it
// runs past the end of the stream.
std::optional<Element> parseElement(ByteView stream);
// The elements a sequence or alternative holds, or nothing when one of them is malformed.
std::optional<std::vector<Element>> childrenOf(const Element& element);
// The value of an integer of up to 8 bytes (larger ones give their last 8 bytes).
std::uint64_t integerValue(const Element& element);
// A UUID in its short form; a 128-bit UUID gives its first 32 bits, which are the short form of
// every UUID built on the Bluetooth base UUID.
std::uint32_t uuidValue(const Element& element);

// Calls `visit` with each attribute id and its value element of a service record (a sequence of
// id, value pairs) while `visit` answers true. False when the record is malformed; the attributes
// before the fault were visited.
bool forEachAttribute(ByteView record,
                      const std::function<bool(std::uint16_t id, const Element& value)>& visit);
// The RFCOMM channel the record's protocol descriptor list names, or 0.
int rfcommChannelOf(ByteView record);

// Building elements, for the simulated phones and for tests.
namespace build {
Bytes uint8(std::uint8_t value);
Bytes uint16(std::uint16_t value);
Bytes uint32(std::uint32_t value);
Bytes uuid16(std::uint16_t value);
Bytes text(std::string_view value);
Bytes sequence(std::initializer_list<Bytes> elements);
// A service record from its attributes, in the order given.
Bytes record(std::initializer_list<std::pair<std::uint16_t, Bytes>> attributes);
}  // namespace build

constexpr std::uint16_t rfcommUuid = 0x0003;
constexpr std::uint16_t objectPushUuid = 0x1105;

}  // namespace sdpora
