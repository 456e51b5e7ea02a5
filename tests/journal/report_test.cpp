// The journal as text: CSV quoting, the report's command line in local time, and a report that
// agrees with the rows, or says clearly why the journal cannot be read.

#include "journal/report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/common/tempfolder.h"
#include "tests/common/zoneguard.h"
#include "tests/journal/journalfixture.h"

namespace {

using testing_support::ZoneGuard;

using journal::Entry;
using journal::Outcome;
using journal_testing::dayStart;
using journal_testing::entryAt;
using journal_testing::sampleEntries;

// Central European time without the zone files: UTC+1, UTC+2 from the last Sunday of March.
constexpr const char* centralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";
// Midnight of 2026-03-02 there.
constexpr std::int64_t localDayStart = dayStart - 3600;

TEST(Csv, QuotesOnlyTextsThatNeedIt) {
    ZoneGuard zone("UTC");
    const struct {
        const char* campaign;
        const char* field;
    } cases[] = {
        {"Spring sale", "Spring sale"},
        {"", ""},
        {"Café Ø ☕", "Café Ø ☕"},
        {"Menu, today", "\"Menu, today\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"carriage\rreturn", "\"carriage\rreturn\""},
        {"'single'", "'single'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.campaign);
        Entry entry = entryAt(dayStart + 3723, Outcome::noAnswer, 1);
        entry.campaign = c.campaign;
        entry.sendName = "offer.jpg";
        entry.manufacturer = "Apple, Inc.";
        entry.radio = "nyvex-1";
        EXPECT_EQ(journal::csvLine(entry), "2026-03-02 01:02:03," + std::string(c.field) +
                                               ",offer.jpg," + entry.deviceKey +
                                               ",\"Apple, Inc.\",no answer,no,1,1017,13,nyvex-1");
    }
}

struct ParseCase {
    const char* what;
    std::vector<std::string> arguments;
    std::int64_t from = 0, until = 0;  // expected when `error` is nullptr
    bool csv = false;
    const char* error = nullptr;  // part of the message
};

TEST(ReportArguments, LocalDatesAndTimesAndWhatIsWrongWithThem) {
    ZoneGuard zone(centralEurope);
    const std::int64_t now = dayStart + 10 * 86400 + 777;
    platform::ManualClock clock(platform::fromTimeT(now));
    platform::ScopedClock useClock(clock);
    const std::int64_t day = 86400;
    const ParseCase cases[] = {
        {"defaults: 30 days to now", {"--report"}, now - 30 * day, now},
        {"since a day", {"--report", "--since", "2026-03-02"}, localDayStart, now},
        {"until a day, 30 days before it",
         {"--until", "2026-03-02", "--report"},
         localDayStart + day - 1 - 30 * day,
         localDayStart + day - 1},
        {"times, csv",
         {"--report", "--since", "2026-03-02 10:30", "--until", "2026-03-02 11:00", "--csv"},
         localDayStart + 10 * 3600 + 1800,
         localDayStart + 11 * 3600 + 59,
         true},
        {"the day clocks go forward has 23 hours",
         {"--report", "--since", "2026-03-29", "--until", "2026-03-29"},
         localDayStart + 27 * day,
         localDayStart + 27 * day + 23 * 3600 - 1},
        {"one day",
         {"--report", "--since", "2026-03-02", "--until", "2026-03-02"},
         localDayStart,
         localDayStart + day - 1},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string error;
        const auto request = journal::parseReportArguments(c.arguments, error);
        ASSERT_TRUE(request) << error;
        EXPECT_EQ(request->range.from, c.from);
        EXPECT_EQ(request->range.until, c.until);
        EXPECT_EQ(request->csv, c.csv);
    }

    const ParseCase bad[] = {
        {"no such day", {"--report", "--since", "2026-02-30"}, 0, 0, false, "not a date"},
        {"no such month", {"--report", "--since", "2026-13-01"}, 0, 0, false, "not a date"},
        {"short digits", {"--report", "--since", "2026-3-2"}, 0, 0, false, "not a date"},
        {"other order", {"--report", "--since", "02.03.2026"}, 0, 0, false, "not a date"},
        {"no such hour", {"--report", "--until", "2026-03-02 24:00"}, 0, 0, false, "not a date"},
        {"seconds", {"--report", "--until", "2026-03-02 10:00:00"}, 0, 0, false, "not a date"},
        {"ISO T", {"--report", "--until", "2026-03-02T10:00"}, 0, 0, false, "not a date"},
        {"trailing text", {"--report", "--until", "2026-03-02x"}, 0, 0, false, "not a date"},
        {"empty date", {"--report", "--since", ""}, 0, 0, false, "not a date"},
        {"date missing", {"--report", "--since"}, 0, 0, false, "--since needs a date"},
        {"unknown option", {"--report", "--verbose"}, 0, 0, false, "unknown or repeated"},
        {"repeated option", {"--report", "--csv", "--csv"}, 0, 0, false, "unknown or repeated"},
        {"repeated date",
         {"--report", "--since", "2026-03-02", "--since", "2026-03-03"},
         0,
         0,
         false,
         "unknown or repeated"},
        {"backwards",
         {"--report", "--since", "2026-03-03", "--until", "2026-03-02"},
         0,
         0,
         false,
         "start after it ends"},
        {"no report", {"--csv"}, 0, 0, false, "usage: Nyvex --report"},
    };
    for (const ParseCase& c : bad) {
        SCOPED_TRACE(c.what);
        std::string error;
        EXPECT_FALSE(journal::parseReportArguments(c.arguments, error));
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    EXPECT_TRUE(journal::isReportCommand({"--csv", "--report"}));
    EXPECT_FALSE(journal::isReportCommand({"--reports", "report"}));
}

class Report : public ::testing::Test {
  protected:
    Report() {
        journal::CJournalStore store;
        EXPECT_TRUE(store.open(journalPath(), journal::CJournalStore::Access::readWrite));
        EXPECT_TRUE(store.append(entries));
    }

    std::string journalPath() const { return folder.file(journal::journalFileName); }

    // The exit code; what the report printed and what it complained of.
    int run(const std::vector<std::string>& arguments) {
        std::ostringstream outStream, errStream;
        const int code = journal::runReport(arguments, folder.folder(), outStream, errStream);
        out = outStream.str();
        err = errStream.str();
        return code;
    }

    ZoneGuard zone{centralEurope};
    testing_support::TempFolder folder;
    const std::vector<Entry> entries = sampleEntries();
    std::string out, err;
};

TEST_F(Report, CsvHoldsExactlyTheRowsOfTheRange) {
    const std::int64_t from = localDayStart + 5 * 3600;
    const std::int64_t until = localDayStart + 86400 - 1;
    std::string expected = std::string(journal::csvHeader) + "\n";
    for (const Entry& entry : entries) {
        if (entry.time >= from && entry.time <= until) {
            expected += journal::csvLine(entry) + "\n";
        }
    }
    ASSERT_EQ(run({"--report", "--csv", "--since", "2026-03-02 05:00", "--until", "2026-03-02"}), 0)
        << err;
    EXPECT_EQ(out, expected);
    EXPECT_EQ(err, "");

    journal::CJournalStore store;
    ASSERT_TRUE(store.open(journalPath(), journal::CJournalStore::Access::readOnly));
    std::ostringstream exported;
    ASSERT_TRUE(journal::writeCsv(store, {from, until}, exported));
    EXPECT_EQ(exported.str(), out) << "the window's export and the report agree";
}

TEST_F(Report, SummaryCountsWhatTheRowsSay) {
    ASSERT_EQ(run({"--report", "--since", "2026-03-01", "--until", "2026-03-10"}), 0) << err;
    std::map<Outcome, int> perOutcome;
    std::map<std::string, std::pair<int, int>> perCampaign;
    for (const Entry& entry : entries) {
        ++perOutcome[entry.outcome];
        auto& [pushes, delivered] = perCampaign[entry.campaign];
        ++pushes;
        delivered += entry.outcome == Outcome::delivered || entry.delivered;
    }
    EXPECT_NE(out.find(": " + std::to_string(entries.size()) + "\n"), std::string::npos) << out;
    for (const Outcome outcome : journal::allOutcomes) {
        const std::string line = "  " + std::string(journal::outcomeName(outcome)) + ": " +
                                 std::to_string(perOutcome[outcome]) + "\n";
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    }
    for (const auto& [campaign, counts] : perCampaign) {
        const std::string line = "  " + campaign + ": " + std::to_string(counts.first) +
                                 " pushes, " + std::to_string(counts.second) + " delivered (";
        EXPECT_NE(out.find(line), std::string::npos) << line << out;
    }
    EXPECT_NE(out.find("Success rate per manufacturer"), std::string::npos);
    EXPECT_NE(out.find("  (none): "), std::string::npos) << "a push without a maker's name";
}

TEST_F(Report, OutcomesALaterVersionAddedAreCountedAsOther) {
    {
        journal::CJournalStore store;
        ASSERT_TRUE(store.open(journalPath(), journal::CJournalStore::Access::readWrite));
        ASSERT_TRUE(store.append({{entryAt(dayStart, static_cast<Outcome>(9))}}));
    }
    ASSERT_EQ(run({"--report", "--since", "2026-03-01", "--until", "2026-03-10"}), 0) << err;
    EXPECT_NE(out.find("  other: 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find(": " + std::to_string(entries.size() + 1) + "\n"), std::string::npos);
}

TEST_F(Report, AJournalThatCannotBeReadEndsWithAClearMessage) {
    const std::string journalBytes = folder.read(journal::journalFileName);
    std::string newer = journalBytes;
    newer[63] = 5;
    ASSERT_TRUE(journal_testing::damageTable(journalPath(), "dayCampaigns"));
    const std::string tableDamaged = folder.read(journal::journalFileName);
    const struct {
        const char* what;
        std::optional<std::string> bytes;  // none: no journal
        std::vector<std::string> arguments;
        int code;
        const char* message;
    } cases[] = {
        {"missing", std::nullopt, {"--report"}, 1, "no journal"},
        {"damaged", "garbage, not a database", {"--report"}, 1, "damaged"},
        {"truncated", journalBytes.substr(0, journalBytes.size() / 3), {"--report"}, 1, "damaged"},
        {"newer", newer, {"--report", "--csv"}, 1, "written by a newer version"},
        {"a table damaged", tableDamaged, {"--report"}, 1, "damaged"},
        {"wrong arguments", journalBytes, {"--report", "--since", "yesterday"}, 2, "not a date"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(journalPath());
        if (c.bytes) {
            folder.write(journal::journalFileName, *c.bytes);
        }
        EXPECT_EQ(run(c.arguments), c.code);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(out, "");
        EXPECT_EQ(std::filesystem::exists(journalPath()), c.bytes.has_value());
        if (c.bytes) {
            EXPECT_TRUE(folder.read(journal::journalFileName) == *c.bytes);
        }
    }
}

}  // namespace
