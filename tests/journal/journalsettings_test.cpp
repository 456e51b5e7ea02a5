// How many days of journal the station keeps: "journaldays" in appTolvik.ini.

#include "journal/journalsettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configstore.h"
#include "tests/common/tempfolder.h"

namespace {

TEST(JournalSettings, DaysDefaultRangeAndReports) {
    const struct {
        const char* line;  // the key's line in [Tolvik], nullptr: the key is missing
        int expected;
        const char* reported;  // nullptr: nothing reported
    } cases[] = {
        {nullptr, 365, "journaldays not found in ini file, using 365"},
        {"30", 30, nullptr},
        {"1", 1, nullptr},
        {"36500", 36500, nullptr},
        {" 90 ", 90, nullptr},
        {"0", 365, "journaldays '0' is not a whole number from 1 to 36500, using 365"},
        {"36501", 365, "'36501' is not a whole number"},
        {"-5", 365, "'-5' is not a whole number"},
        {"30d", 365, "'30d' is not a whole number"},
        {"1.5", 365, "'1.5' is not a whole number"},
        {"", 365, "'' is not a whole number"},
        {"99999999999999999999", 365, "is not a whole number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line ? c.line : "missing");
        std::string settings = "[Tolvik]\nversion=1.061\n";
        if (c.line != nullptr) {
            settings += std::string("journaldays=") + c.line + "\n";
        }
        testing_support::StationFolder station(false, settings);
        std::vector<std::string> reports;
        EXPECT_EQ(journal::readJournalDays(
                      CInit(), [&reports](const std::string& line) { reports.push_back(line); }),
                  c.expected);
        if (c.reported == nullptr) {
            EXPECT_TRUE(reports.empty()) << reports.front();
            continue;
        }
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_NE(reports[0].find(c.reported), std::string::npos) << reports[0];
    }
}

}  // namespace
