#include "btradio.h"

#include <algorithm>
#include <chrono>
#include <string>

#include "libs/simworld/simworld.h"
#include "majorservice.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr std::uint64_t addressMask = 0xFFFFFFFFFFFFull;

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// Copies a UTF-8 name into a record's name field, cut to fit with its end mark (never between the
// two halves of a surrogate pair); invalid bytes become U+FFFD. Names come from phones.
template <std::size_t N>
void copyName(char16_t (&field)[N], const std::string& utf8) {
    const std::u16string wide = platform::toUtf16(utf8);
    std::size_t units = std::min(wide.size(), N - 1);
    if (units < wide.size() && units > 0 && isHighSurrogate(wide[units - 1])) {
        --units;
    }
    std::fill(std::begin(field), std::end(field), u'\0');
    std::copy_n(wide.begin(), units, field);
}

template <std::size_t N>
std::string nameOf(const char16_t (&field)[N]) {
    return platform::toUtf8(std::u16string_view(field, std::find(field, field + N, u'\0') - field));
}

std::unique_ptr<NyvexDeviceRecord> emptyDeviceRecord() {
    auto record = std::make_unique<NyvexDeviceRecord>();
    record->size = sizeof(NyvexDeviceRecord);
    return record;
}

NyvexRadioRecord radioRecord(const radiox::RadioFacts& radio) {
    NyvexRadioRecord record{};
    record.size = sizeof record;
    record.address = radio.address & addressMask;
    copyName(record.name, radio.name);
    record.classOfDevice = radio.classOfDevice;
    record.subVersion = radio.subVersion;
    record.manufacturer = radio.manufacturer;
    return record;
}

}  // namespace

CBTRadio::CBTRadio() : radioInfo(std::make_unique<NyvexRadioRecord>()) {}

CBTRadio::~CBTRadio() = default;

std::unique_ptr<radiox::RadioBackend> CBTRadio::backend() {
    radiox::Report report = [this](const std::string& line) { trace("%s\n", line.c_str()); };
    if (const auto world = simworld::worldFile()) {
        return radiox::makeSimulatedRadio(*world, std::move(report));
    }
    return radiox::makeBluezRadio(std::move(report));
}

int CBTRadio::countDongles() {
    std::unique_lock guard(radioLock, std::defer_lock);
    if (!guard.try_lock_for(std::chrono::milliseconds(radioLockWaitMs))) {
        return 0;
    }
    const radiox::RadioSearch search = backend()->radios();
    for (const radiox::RadioFacts& radio : search.radios) {
        trace("found dongle\n");
        *radioInfo = radioRecord(radio);
        trace("%s ", nameOf(radioInfo->name).c_str());
        traceAddress(radioInfo->address);
    }
    trace(" lasterr %s\n", platform::systemErrorText(search.lastError).c_str());
    return static_cast<int>(search.radios.size());
}

int CBTRadio::scanDevices(int length) {
    std::unique_lock inquiryGuard(inquiryLock, std::defer_lock);
    if (!inquiryGuard.try_lock_for(std::chrono::milliseconds(inquiryLockWaitMs))) {
        return 0;
    }
    if (countDongles() == 0) {
        return 0;
    }
    // The platform takes the inquiry length as one byte.
    const radiox::InquiryResult inquiry = backend()->inquire(length & 0xFF, radiox::slotCount);
    Slots found;
    const int filled = fillSlots(inquiry, found);
    std::unique_lock slotGuard(slotLock, std::defer_lock);
    if (!slotGuard.try_lock_for(std::chrono::milliseconds(slotLockWaitMs))) {
        return 0;
    }
    foundDevices.swap(found);
    return filled;
}

// An inquiry that found nothing fills no slot and still counts 1; a failed one leaves one record
// with an all-zero address in slot 0, by which the caller recognises the failure.
int CBTRadio::fillSlots(const radiox::InquiryResult& inquiry, Slots& slots) {
    if (inquiry.failed) {
        trace("inquiry failed: %s\n", platform::systemErrorText(inquiry.error).c_str());
        slots[0] = emptyDeviceRecord();
        return 1;
    }
    if (inquiry.devices.empty()) {
        return 1;
    }
    std::size_t filled = 0;
    for (const radiox::DeviceFacts& device : inquiry.devices) {
        if (filled == slots.size()) {
            break;
        }
        auto record = emptyDeviceRecord();
        record->address = device.address & addressMask;
        record->classOfDevice = device.classOfDevice;
        copyName(record->name, device.name);
        trace("Phone:%s ", nameOf(record->name).c_str());
        traceAddress(record->address);
        slots[filled++] = std::move(record);
    }
    return static_cast<int>(filled);
}

const NyvexDeviceRecord* CBTRadio::deviceRecord(int index) {
    if (index < 0 || index >= radiox::slotCount) {
        return nullptr;
    }
    std::unique_lock guard(slotLock, std::defer_lock);
    if (!guard.try_lock_for(std::chrono::milliseconds(slotLockWaitMs))) {
        return nullptr;
    }
    return foundDevices[static_cast<std::size_t>(index)].get();
}

const char* CBTRadio::majorService(int index) {
    const NyvexDeviceRecord* record = deviceRecord(index);
    return record != nullptr ? MajorService(record->classOfDevice).name() : "";
}
