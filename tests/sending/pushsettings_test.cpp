// The operator's push settings as read from appTolvik.ini: their defaults, their ranges and what
// is reported when a value cannot be used.

#include "sending/pushsettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/configstore.h"
#include "tests/common/tempfolder.h"

namespace {

struct SettingCase {
    const char* what;
    const char* key;
    const char* line;  // the key's line in [Tolvik], nullptr: the key is missing
    std::int32_t expected;
    const char* reported;  // nullptr: nothing reported
};

const SettingCase settingCases[] = {
    {"packet missing", "obexpacket", nullptr, 430, "obexpacket not found in ini file, using 430"},
    {"packet 'default'", "obexpacket", "default", 430, "not found in ini file"},
    {"packet empty", "obexpacket", "", 430, "obexpacket '' is not a whole number"},
    {"packet default value", "obexpacket", "430", 430, nullptr},
    {"packet smallest", "obexpacket", "255", 255, nullptr},
    {"packet largest", "obexpacket", "65535", 65535, nullptr},
    {"packet spaces around", "obexpacket", "  32767 ", 32767, nullptr},
    {"packet below", "obexpacket", "254", 430,
     "obexpacket '254' is not a whole number from 255 to 65535, using 430"},
    {"packet above", "obexpacket", "65536", 430, "'65536' is not a whole number"},
    {"packet negative", "obexpacket", "-1000", 430, "'-1000' is not a whole number"},
    {"packet with a unit", "obexpacket", "1000b", 430, "'1000b' is not a whole number"},
    {"packet hexadecimal", "obexpacket", "0x1000", 430, "'0x1000' is not a whole number"},
    {"packet too many digits", "obexpacket", "99999999999999999999", 430, "is not a whole"},
    {"wait missing", "answerwait", nullptr, 9, "answerwait not found in ini file, using 9"},
    {"wait default value", "answerwait", "9", 9, nullptr},
    {"wait shortest", "answerwait", "1", 1, nullptr},
    {"wait longest", "answerwait", "120", 120, nullptr},
    {"wait a minute", "answerwait", "60", 60, nullptr},
    {"wait zero", "answerwait", "0", 9,
     "answerwait '0' is not a whole number from 1 to 120, using 9"},
    {"wait above", "answerwait", "121", 9, "'121' is not a whole number"},
    {"wait fraction", "answerwait", "9.5", 9, "'9.5' is not a whole number"},
    {"wait with a unit", "answerwait", "30s", 9, "'30s' is not a whole number"},
};

TEST(PushSettings, DefaultsRangesAndReports) {
    for (const SettingCase& c : settingCases) {
        SCOPED_TRACE(c.what);
        // The other setting is valid, so only the one under test may be reported.
        std::string settings = "[Tolvik]\nversion=1.061\n";
        const std::string other =
            std::string(c.key) == "obexpacket" ? "answerwait=9\n" : "obexpacket=430\n";
        settings += other;
        if (c.line != nullptr) {
            settings += std::string(c.key) + "=" + c.line + "\n";
        }
        testing_support::StationFolder station(false, settings);
        std::vector<std::string> reports;
        const btsend::PushSettings read = btsend::readPushSettings(
            CInit(), [&reports](const std::string& line) { reports.push_back(line); });
        const std::int32_t value =
            std::string(c.key) == "obexpacket" ? read.packetLength : read.answerWait;
        EXPECT_EQ(value, c.expected);
        if (c.reported == nullptr) {
            EXPECT_TRUE(reports.empty()) << reports.front();
            continue;
        }
        ASSERT_EQ(reports.size(), 1u) << "one line for the one unusable value";
        EXPECT_NE(reports[0].find(c.reported), std::string::npos) << reports[0];
    }
}

}  // namespace
