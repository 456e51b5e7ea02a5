#pragma once
// How many days of journal the station keeps: "journaldays" in "appTolvik.ini", a whole number
// from 1 to 36500, 365 when missing or unusable (the reason is reported once).

#include <functional>
#include <string>

class CInit;

namespace journal {

constexpr int defaultJournalDays = 365;

using SettingsReport = std::function<void(const std::string&)>;

int readJournalDays(const CInit& config, const SettingsReport& report);

}  // namespace journal
