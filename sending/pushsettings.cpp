#include "pushsettings.h"

#include <algorithm>
#include <cctype>

#include "config/configstore.h"
#include "platform/text.h"

namespace btsend {

namespace {

struct SettingRange {
    const char* key;
    std::int32_t low;
    std::int32_t high;
    std::int32_t fallback;
};

constexpr SettingRange packetRange{"obexpacket", 255, 65535, 430};
constexpr SettingRange answerRange{"answerwait", 1, 120, 9};

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// Whole decimal numbers only: a sign, a unit or a fraction makes the value unusable, so that
// "9.5" or "30s" never quietly become something the operator did not write.
std::int32_t readSetting(const CInit& config, const SettingRange& range,
                         const SettingsReport& report) {
    const std::string value = platform::trim(config.getString(range.key, false));
    const std::string fallback = std::to_string(range.fallback);
    if (value == CInit::missing) {
        report(std::string(range.key) + " not found in ini file, using " + fallback);
        return range.fallback;
    }
    // Nine digits at most: the value cannot overflow on its way to the range check.
    if (allDigits(value) && value.size() <= 9) {
        const std::int32_t number = std::stoi(value);
        if (number >= range.low && number <= range.high) {
            return number;
        }
    }
    report(std::string(range.key) + " '" + value + "' is not a whole number from " +
           std::to_string(range.low) + " to " + std::to_string(range.high) + ", using " + fallback);
    return range.fallback;
}

}  // namespace

PushSettings readPushSettings(const CInit& config, const SettingsReport& report) {
    return {readSetting(config, packetRange, report), readSetting(config, answerRange, report)};
}

}  // namespace btsend
