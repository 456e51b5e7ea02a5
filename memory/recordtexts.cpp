#include "recordtexts.h"

#include "memory/manufacturer.h"
#include "platform/btaddress.h"

namespace backo {

namespace {

std::uint32_t prefixOf(const NyvexSighting& record) {
    return static_cast<std::uint32_t>((record.device.address >> 24) & 0xFFFFFF);
}

}  // namespace

CBtAdWrapper::RawAddress CBtAdWrapper::addressBytes(const NyvexSighting& record) {
    return platform::btaddress::toBytes(record.device.address);
}

std::string CBtAdWrapper::addressWithColons(const NyvexSighting& record) {
    return addressWithColons(addressBytes(record));
}

std::string CBtAdWrapper::addressWithColons(const RawAddress& bytes) {
    return platform::btaddress::withColons(platform::btaddress::fromBytes(bytes));
}

std::string CBtAdWrapper::addressPlain(const NyvexSighting& record) {
    return platform::btaddress::plain(record.device.address);
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
