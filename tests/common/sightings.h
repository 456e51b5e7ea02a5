#pragma once
// Builds sightings the way the scanner does: a zero-filled record with size and address set.

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>

#include "discovery/sighting.h"

namespace testing_support {

inline std::unique_ptr<NyvexSighting> makeRecord(std::uint64_t address, char16_t nameMark = u'A') {
    auto record = std::make_unique<NyvexSighting>();
    record->device.size = sizeof(NyvexDeviceRecord);
    record->device.address = address;
    record->device.name[0] = nameMark;
    return record;
}

inline std::unique_ptr<blto::CBtAdWCounter> makeSighting(std::uint64_t address,
                                                         char16_t nameMark = u'A') {
    auto sighting = std::make_unique<blto::CBtAdWCounter>();
    sighting->setRecord(makeRecord(address, nameMark));
    return sighting;
}

// A sighting with the name the phone announced and the maker the scanner named.
inline std::unique_ptr<blto::CBtAdWCounter> makeNamedSighting(std::uint64_t address,
                                                              const std::u16string& name,
                                                              const std::u16string& maker) {
    auto sighting = makeSighting(address);
    NyvexSighting& record = *sighting->record();
    record.device.name[name.copy(record.device.name, std::size(record.device.name) - 1)] = u'\0';
    maker.copy(record.manufacturerName, std::size(record.manufacturerName) - 1);
    return sighting;
}

}  // namespace testing_support
