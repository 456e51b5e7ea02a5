#include "journal/report.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "platform/clock.h"

namespace journal {

namespace {

constexpr std::int64_t secondsPerDay = 86400;
constexpr int defaultReportDays = 30;

std::string localTimeText(std::int64_t time) {
    return platform::formatLocal(platform::fromTimeT(static_cast<std::time_t>(time)),
                                 "%Y-%m-%d %H:%M:%S");
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

std::string percent(std::int64_t part, std::int64_t whole) {
    if (whole == 0) {
        return "-";
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.1f%%",
                  100.0 * static_cast<double>(part) / static_cast<double>(whole));
    return text;
}

void writeRates(const std::vector<Rate>& rates, const char* heading, std::ostream& out) {
    out << '\n' << heading << ":\n";
    if (rates.empty()) {
        out << "  none\n";
    }
    for (const Rate& rate : rates) {
        out << "  " << (rate.name.empty() ? "(none)" : rate.name) << ": " << rate.pushes
            << " pushes, " << rate.delivered << " delivered ("
            << percent(rate.delivered, rate.pushes) << "), " << rate.bytes << " bytes\n";
    }
}

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM", local time; none for anything else, including dates
// that do not exist such as 2025-02-30.
std::optional<platform::LocalTime> parseLocal(const std::string& text, bool& withTime) {
    platform::LocalTime local;
    int consumed = 0;
    withTime = text.size() == 16;
    const bool parsed =
        withTime ? std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d%n", &local.year, &local.month,
                               &local.day, &local.hour, &local.minute, &consumed) == 5
                 : std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &local.year, &local.month, &local.day,
                               &consumed) == 3;
    const bool digitsWhereExpected = std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '-' || c == ' ' || c == ':';
    });
    if (!parsed || consumed != static_cast<int>(text.size()) || !digitsWhereExpected ||
        (text.size() != 10 && !withTime) || text[4] != '-' || text[7] != '-') {
        return std::nullopt;
    }
    if (local.month < 1 || local.month > 12 || local.day < 1 || local.day > 31 || local.hour > 23 ||
        local.minute > 59 || local.year < 1970) {
        return std::nullopt;
    }
    // mktime moves 31 April to 1 May: such a date does not exist.
    const platform::LocalTime back = platform::toLocal(platform::fromLocal(local));
    if (back.day != local.day || back.month != local.month) {
        return std::nullopt;
    }
    return local;
}

std::int64_t seconds(platform::TimePoint t) {
    return static_cast<std::int64_t>(platform::toTimeT(t));
}

// The first second of a --since, the last second of an --until.
std::optional<std::int64_t> boundOf(const std::string& text, bool isEnd) {
    bool withTime = false;
    auto local = parseLocal(text, withTime);
    if (!local) {
        return std::nullopt;
    }
    if (!isEnd) {
        return seconds(platform::fromLocal(*local));
    }
    if (withTime) {
        local->second = 59;
        return seconds(platform::fromLocal(*local));
    }
    // The next day's midnight less a second, so a day of 23 or 25 hours ends where it ends.
    ++local->day;
    return seconds(platform::fromLocal(*local)) - 1;
}

constexpr const char* usage = "usage: Nyvex --report [--since DATE] [--until DATE] [--csv]";

}  // namespace

std::string csvLine(const Entry& entry) {
    std::string line = localTimeText(entry.time);
    for (const std::string* text :
         {&entry.campaign, &entry.sendName, &entry.deviceKey, &entry.manufacturer}) {
        line += ',' + csvField(*text);
    }
    line += ',' + std::string(outcomeName(entry.outcome));
    line += entry.delivered ? ",yes" : ",no";
    line += ',' + std::to_string(entry.packets) + ',' + std::to_string(entry.bytes) + ',' +
            std::to_string(entry.durationMs) + ',' + csvField(entry.radio);
    return line;
}

bool writeCsv(const CJournalStore& store, TimeRange range, std::ostream& out) {
    out << csvHeader << '\n';
    return store.forEachEntry(range, [&out](const Entry& entry) {
        out << csvLine(entry) << '\n';
        return static_cast<bool>(out);
    }) && out;
}

bool writeSummary(const CJournalStore& store, TimeRange range, std::ostream& out) {
    std::vector<HourCount> hours;
    std::vector<Rate> campaigns, manufacturers;
    if (!store.readTogether(
            {[&] { hours = store.hourly(range); },
             [&] { campaigns = store.rates(range, Grouping::campaign); },
             [&] { manufacturers = store.rates(range, Grouping::manufacturer); }})) {
        return false;
    }
    std::array<std::int64_t, allOutcomes.size()> perOutcome{};
    std::int64_t total = 0;
    std::int64_t unknown = 0;  // outcomes a later version added
    for (const HourCount& count : hours) {
        const auto index = static_cast<std::size_t>(count.outcome);
        (index < perOutcome.size() ? perOutcome[index] : unknown) += count.pushes;
        total += count.pushes;
    }
    out << "Pushes from " << localTimeText(range.from) << " to " << localTimeText(range.until)
        << ": " << total << "\n\n";
    for (const Outcome outcome : allOutcomes) {
        out << "  " << outcomeName(outcome) << ": "
            << perOutcome.at(static_cast<std::size_t>(outcome)) << '\n';
    }
    if (unknown > 0) {
        out << "  other: " << unknown << '\n';
    }
    writeRates(campaigns, "Success rate per campaign", out);
    writeRates(manufacturers, "Success rate per manufacturer", out);
    return static_cast<bool>(out);
}

bool isReportCommand(const std::vector<std::string>& arguments) {
    return std::find(arguments.begin(), arguments.end(), "--report") != arguments.end();
}

std::optional<ReportRequest> parseReportArguments(const std::vector<std::string>& arguments,
                                                  std::string& error) {
    std::optional<std::int64_t> since, until;
    bool sawReport = false;
    ReportRequest request;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--report" && !sawReport) {
            sawReport = true;
        } else if (argument == "--csv" && !request.csv) {
            request.csv = true;
        } else if ((argument == "--since" && !since) || (argument == "--until" && !until)) {
            const bool isEnd = argument == "--until";
            if (i + 1 == arguments.size()) {
                error = argument + " needs a date (YYYY-MM-DD or \"YYYY-MM-DD HH:MM\")\n" + usage;
                return std::nullopt;
            }
            const auto bound = boundOf(arguments[++i], isEnd);
            if (!bound) {
                error = "'" + arguments[i] +
                        "' is not a date (YYYY-MM-DD or \"YYYY-MM-DD HH:MM\")\n" + usage;
                return std::nullopt;
            }
            (isEnd ? until : since) = bound;
        } else {
            error = "unknown or repeated argument '" + argument + "'\n" + usage;
            return std::nullopt;
        }
    }
    if (!sawReport) {
        error = usage;
        return std::nullopt;
    }
    const std::int64_t now = seconds(platform::now());
    request.range.until = until.value_or(now);
    request.range.from = since.value_or(request.range.until - defaultReportDays * secondsPerDay);
    if (request.range.from > request.range.until) {
        error = "the report would start after it ends (--since is later than --until)";
        return std::nullopt;
    }
    return request;
}

namespace {

int report(const std::vector<std::string>& arguments, const std::string& stationFolder,
           std::ostream& out, std::ostream& err) {
    std::string error;
    const auto request = parseReportArguments(arguments, error);
    if (!request) {
        err << error << '\n';
        return 2;
    }
    const std::string path = (std::filesystem::path(stationFolder) / journalFileName).string();
    CJournalStore store;
    if (!store.open(path, CJournalStore::Access::readOnly)) {
        err << store.problem() << '\n';
        return 1;
    }
    const bool written = request->csv ? writeCsv(store, request->range, out)
                                      : writeSummary(store, request->range, out);
    if (!written) {
        err << (store.problem().empty() ? "the report could not be written" : store.problem())
            << '\n';
        return 1;
    }
    return 0;
}

}  // namespace

int runReport(const std::vector<std::string>& arguments, const std::string& stationFolder,
              std::ostream& out, std::ostream& err) {
    try {
        return report(arguments, stationFolder, out, err);
    } catch (const std::exception& error) {
        err << "the report failed: " << error.what() << '\n';
        return 1;
    }
}

}  // namespace journal
