#include "support/errlog.h"

#include <gtest/gtest.h>

#include <regex>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"

using testing_support::decodeUtf16le;
using testing_support::StationFolder;

namespace {
struct UtcClock {
    UtcClock() : manual(platform::fromTimeT(1796611390)), scope(manual) {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~UtcClock() {
        unsetenv("TZ");
        tzset();
    }
    platform::ManualClock manual;
    platform::ScopedClock scope;
};
}  // namespace

TEST(ErrorLog, FirstEntryCreatesTheFileWithSevenUtf16Lines) {
    StationFolder station(false);
    UtcClock clock;
    CErrLog1::write("Started twice.", "CStartup*", "");
    const std::string bytes = station.read(CErrLog1::logFileName());
    ASSERT_EQ(bytes.size() % 2, 0u);
    EXPECT_NE(bytes.substr(0, 2), "\xFF\xFE") << "no byte-order mark";
    std::string expected = "07. Dec 2026 02:43:10\r\n";
    if (const auto host = platform::computerName()) {
        expected += "Computername : " + *host + "\r\n";
    }
    if (const auto user = platform::userName()) {
        expected += "Username : " + *user + "\r\n";
    }
    expected += "1.061\r\nFehlerquelle : CStartup*\r\nFehler : Started twice.\r\n\r\n";
    EXPECT_EQ(decodeUtf16le(bytes), expected);
}

TEST(ErrorLog, NamesTheSystemDoesNotGiveLeaveTheirLineOut) {
    UtcClock clock;
    EXPECT_EQ(CErrLog1::entryText("m", "T*", "", std::string("box"), std::nullopt),
              "07. Dec 2026 02:43:10\r\nComputername : box\r\n1.061\r\nFehlerquelle : T*\r\n"
              "Fehler : m\r\n\r\n");
    const std::string longName(250, 'u');
    EXPECT_NE(CErrLog1::entryText("m", "T*", "", std::nullopt, longName)
                  .find("Username : " + std::string(200, 'u') + "\r\n"),
              std::string::npos);
}

TEST(ErrorLog, RollsOverOnlyPast960000Bytes) {
    UtcClock clock;
    const std::size_t entryBytes =
        platform::toUtf16leBytes(
            CErrLog1::entryText("x", "T*", "", platform::computerName(), platform::userName()))
            .size();
    for (const auto& [finalSize, rolled] :
         {std::pair<std::size_t, bool>{960000, false}, {960001, true}}) {
        StationFolder station(false);
        station.write("olderr.txt", "previous generation");
        station.write(CErrLog1::logFileName(), std::string(finalSize - entryBytes, 'a'));
        CErrLog1::write("x", "T*", "");
        EXPECT_EQ(platform::fileExists(station.file(CErrLog1::logFileName())), !rolled)
            << finalSize;
        EXPECT_EQ(platform::fileSize(station.file("olderr.txt")),
                  rolled ? finalSize : std::string("previous generation").size())
            << finalSize;
    }
}

TEST(ErrorLog, AnUnwritableLogIsShownAndTheEntryStillReturned) {
    StationFolder station(false);
    std::filesystem::create_directory(station.path() / CErrLog1::logFileName());
    std::string shown;
    support::setAlertHandler([&](const std::string& text) { shown = text; });
    const std::string entry = CErrLog1::write("lost", "T*", "");
    support::setAlertHandler(nullptr);
    EXPECT_NE(entry.find("Fehler : lost"), std::string::npos);
    EXPECT_NE(shown.find("cannot be written"), std::string::npos) << shown;
}
