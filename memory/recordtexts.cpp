#include "recordtexts.h"

#include <cstdio>

#include "memory/manufacturer.h"

namespace backo {

namespace {

std::string formatAddress(const CBtAdWrapper::RawAddress& b, const char* format) {
    char text[18];
    std::snprintf(text, sizeof text, format, b[5], b[4], b[3], b[2], b[1], b[0]);
    return text;
}

std::uint32_t prefixOf(const NyvexSighting& record) {
    return static_cast<std::uint32_t>((record.device.address >> 24) & 0xFFFFFF);
}

}  // namespace

CBtAdWrapper::RawAddress CBtAdWrapper::addressBytes(const NyvexSighting& record) {
    RawAddress bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(record.device.address >> (8 * i));
    }
    return bytes;
}

std::string CBtAdWrapper::addressWithColons(const NyvexSighting& record) {
    return addressWithColons(addressBytes(record));
}

std::string CBtAdWrapper::addressWithColons(const RawAddress& bytes) {
    return formatAddress(bytes, "%2.2X:%2.2X:%2.2X:%2.2X:%2.2X:%2.2X");
}

std::string CBtAdWrapper::addressPlain(const NyvexSighting& record) {
    return formatAddress(addressBytes(record), "%2.2X%2.2X%2.2X%2.2X%2.2X%2.2X");
}

bool CBtAdWrapper::isNullAddress(const NyvexSighting* record) {
    return record == nullptr || (record->device.address & 0xFFFFFFFFFFFFull) == 0;
}

std::string CBtAdWrapper::memoryKey(const NyvexSighting& record) {
    return hasher.hashWithSalt(addressPlain(record));
}

std::string CBtAdWrapper::manufacturerOf(const NyvexSighting& record, CManufacturer& table) {
    return table.nameOf(prefixOf(record));
}

}  // namespace backo
