#pragma once
// The journal as text: the summary a report prints (totals per outcome, per campaign and per
// manufacturer) and the CSV of the entries, one line per push. The statistics window exports
// the same CSV, so a report and an export of one range always agree.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "journal/journalentry.h"
#include "journal/journalstore.h"

namespace journal {

// The CSV's first line.
constexpr const char* csvHeader =
    "time,campaign,send name,device key,manufacturer,outcome,delivered,packets,bytes,"
    "duration ms,radio";

// One CSV line (no line end): the time as local "YYYY-MM-DD HH:MM:SS", texts quoted when they
// hold a comma, a quote or a line break.
std::string csvLine(const Entry& entry);
// The header and every entry of `range`; false (the store's problem() set) when the journal
// failed.
bool writeCsv(const CJournalStore& store, TimeRange range, std::ostream& out);
// The summary of `range` as readable text.
bool writeSummary(const CJournalStore& store, TimeRange range, std::ostream& out);

// The command line of a report: Nyvex --report [--since DATE] [--until DATE] [--csv]. DATE is
// a local date "YYYY-MM-DD" (since: from its start; until: to its end) or a local time
// "YYYY-MM-DD HH:MM" (until: to the end of that minute). Without --until the report ends now;
// without --since it starts 30 days before its end.
struct ReportRequest {
    TimeRange range;
    bool csv = false;
};
// Whether `arguments` (without the program name) ask for a report.
bool isReportCommand(const std::vector<std::string>& arguments);
// The request, or none with `error` set to a message for the operator.
std::optional<ReportRequest> parseReportArguments(const std::vector<std::string>& arguments,
                                                  std::string& error);

// Runs a report on the journal in `stationFolder`, printing to `out` and problems to `err`.
// Opens the journal read-only, so it works while a station runs. The process exit code: 0,
// 1 when the journal is missing, damaged or from a newer version, 2 for wrong arguments.
int runReport(const std::vector<std::string>& arguments, const std::string& stationFolder,
              std::ostream& out, std::ostream& err);

}  // namespace journal
