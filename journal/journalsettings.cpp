#include "journal/journalsettings.h"

#include <algorithm>
#include <cctype>

#include "config/configstore.h"
#include "platform/text.h"

namespace journal {

namespace {

constexpr const char* daysKey = "journaldays";
constexpr int fewestDays = 1;
constexpr int mostDays = 36500;

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

// Whole decimal numbers only: "30d" or "1.5" never quietly become a period the operator did
// not write.
int readJournalDays(const CInit& config, const SettingsReport& report) {
    const std::string value = platform::trim(config.getString(daysKey, false));
    const std::string fallback = std::to_string(defaultJournalDays);
    if (value == CInit::missing) {
        report(std::string(daysKey) + " not found in ini file, using " + fallback);
        return defaultJournalDays;
    }
    // Nine digits at most: the value cannot overflow on its way to the range check.
    if (allDigits(value) && value.size() <= 9) {
        const int days = std::stoi(value);
        if (days >= fewestDays && days <= mostDays) {
            return days;
        }
    }
    report(std::string(daysKey) + " '" + value + "' is not a whole number from " +
           std::to_string(fewestDays) + " to " + std::to_string(mostDays) + ", using " + fallback);
    return defaultJournalDays;
}

}  // namespace journal
