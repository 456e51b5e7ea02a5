#include "sdpelement.h"

namespace sdpora {

namespace {

constexpr std::uint16_t protocolDescriptorList = 0x0004;

std::uint64_t bigEndian(ByteView bytes) {
    std::uint64_t value = 0;
    for (std::uint8_t byte : bytes) {
        value = (value << 8) | byte;
    }
    return value;
}

// Whether a type may use a size index: fixed sizes (0-4) for numbers, UUIDs, nil and booleans;
// a length that follows the descriptor (5-7) for texts, sequences and URLs.
bool sizeIndexFits(ElementType type, unsigned sizeIndex) {
    switch (type) {
        case ElementType::nil:
        case ElementType::boolean:
            return sizeIndex == 0;
        case ElementType::unsignedInt:
        case ElementType::signedInt:
            return sizeIndex <= 4;
        case ElementType::uuid:
            return sizeIndex == 1 || sizeIndex == 2 || sizeIndex == 4;
        case ElementType::text:
        case ElementType::sequence:
        case ElementType::alternative:
        case ElementType::url:
            return sizeIndex >= 5;
    }
    return false;
}

void append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

// Descriptor and length of a variable-size element of `size` bytes.
Bytes variableHeader(std::uint8_t type, std::size_t size) {
    if (size <= 0xFF) {
        return {static_cast<std::uint8_t>(type << 3 | 5), static_cast<std::uint8_t>(size)};
    }
    return {static_cast<std::uint8_t>(type << 3 | 6), static_cast<std::uint8_t>(size >> 8),
            static_cast<std::uint8_t>(size)};
}

}  // namespace

std::optional<Element> parseElement(ByteView stream) {
    if (stream.empty()) {
        return std::nullopt;
    }
    const unsigned typeCode = stream[0] >> 3;
    const unsigned sizeIndex = stream[0] & 7;
    if (typeCode > static_cast<unsigned>(ElementType::url)) {
        return std::nullopt;
    }
    const auto type = static_cast<ElementType>(typeCode);
    if (!sizeIndexFits(type, sizeIndex)) {
        return std::nullopt;
    }
    std::size_t header = 1;
    std::uint64_t size = 0;
    if (sizeIndex <= 4) {
        size = type == ElementType::nil ? 0 : std::uint64_t{1} << sizeIndex;
    } else {
        const std::size_t lengthBytes = std::size_t{1} << (sizeIndex - 5);
        if (stream.size() < 1 + lengthBytes) {
            return std::nullopt;
        }
        size = bigEndian(stream.subspan(1, lengthBytes));
        header += lengthBytes;
    }
    if (size > stream.size() - header) {
        return std::nullopt;
    }
    Element element;
    element.type = type;
    element.whole = stream.first(header + size);
    element.value = stream.subspan(header, size);
    return element;
}

std::optional<std::vector<Element>> childrenOf(const Element& element) {
    std::vector<Element> children;
    for (ByteView rest = element.value; !rest.empty();) {
        const auto child = parseElement(rest);
        if (!child) {
            return std::nullopt;
        }
        children.push_back(*child);
        rest = rest.subspan(child->whole.size());
    }
    return children;
}

std::uint64_t integerValue(const Element& element) {
    const ByteView value = element.value;
    return bigEndian(value.size() > 8 ? value.last(8) : value);
}

std::uint32_t uuidValue(const Element& element) {
    const ByteView value = element.value;
    return static_cast<std::uint32_t>(bigEndian(value.size() > 4 ? value.first(4) : value));
}

bool forEachAttribute(ByteView record,
                      const std::function<bool(std::uint16_t id, const Element& value)>& visit) {
    const auto list = parseElement(record);
    if (!list || list->type != ElementType::sequence) {
        return false;
    }
    for (ByteView rest = list->value; !rest.empty();) {
        const auto id = parseElement(rest);
        if (!id || id->type != ElementType::unsignedInt || id->value.size() != 2) {
            return false;
        }
        rest = rest.subspan(id->whole.size());
        const auto value = parseElement(rest);
        if (!value) {
            return false;
        }
        rest = rest.subspan(value->whole.size());
        if (!visit(static_cast<std::uint16_t>(integerValue(*id)), *value)) {
            return true;
        }
    }
    return true;
}

int rfcommChannelOf(ByteView record) {
    int channel = 0;
    forEachAttribute(record, [&](std::uint16_t id, const Element& value) {
        if (id != protocolDescriptorList || value.type != ElementType::sequence) {
            return true;
        }
        for (const Element& protocol : childrenOf(value).value_or(std::vector<Element>{})) {
            const auto parts =
                protocol.type == ElementType::sequence ? childrenOf(protocol) : std::nullopt;
            if (parts && parts->size() >= 2 && (*parts)[0].type == ElementType::uuid &&
                uuidValue((*parts)[0]) == rfcommUuid &&
                (*parts)[1].type == ElementType::unsignedInt) {
                channel = static_cast<int>(integerValue((*parts)[1]));
            }
        }
        return false;
    });
    return channel;
}

namespace build {

Bytes uint8(std::uint8_t value) {
    return {0x08, value};
}

Bytes uint16(std::uint16_t value) {
    return {0x09, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes uint32(std::uint32_t value) {
    return {0x0A, static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes uuid16(std::uint16_t value) {
    return {0x19, static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes text(std::string_view value) {
    Bytes element = variableHeader(4, value.size());
    element.insert(element.end(), value.begin(), value.end());
    return element;
}

Bytes sequence(std::initializer_list<Bytes> elements) {
    Bytes content;
    for (const Bytes& element : elements) {
        append(content, element);
    }
    Bytes element = variableHeader(6, content.size());
    append(element, content);
    return element;
}

Bytes record(std::initializer_list<std::pair<std::uint16_t, Bytes>> attributes) {
    Bytes content;
    for (const auto& [id, value] : attributes) {
        append(content, uint16(id));
        append(content, value);
    }
    Bytes element = variableHeader(6, content.size());
    append(element, content);
    return element;
}

}  // namespace build

}  // namespace sdpora
