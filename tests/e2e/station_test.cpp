// The whole station as processes: phonesim serves four phones of a simulated world and
// `Nyvex --headless` pushes the campaign to them from a station folder made like an installed one.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <sstream>

#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"

using testing_support::TempFolder;

namespace e2e {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

const StationPaths paths{NYVEX_SOURCE_DIR, NYVEX_BIN_DIR};

// One remembered device takes 80 bytes of the archive, after a 2-byte record count.
constexpr std::uintmax_t archiveHeader = 2;
constexpr std::uintmax_t archiveRecord = 80;

std::string utf16leToUtf8(const std::string& bytes) {
    std::string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit = static_cast<unsigned char>(bytes[i]) |
                              static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        text += unit < 0x80 ? static_cast<char>(unit) : '?';  // the reports asserted are ASCII
    }
    return text;
}

std::vector<std::string> statusLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.find(" failed ") != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

bool anyLineHas(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& line : lines) {
        if (line.find(part) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// phonesim's lines about one phone other than its "listening" line: the pushes it saw.
std::vector<std::string> pushEvents(const std::string& phonesimOutput, const std::string& address) {
    std::vector<std::string> events;
    std::istringstream in(phonesimOutput);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(address + " ", 0) == 0 && line.find(" listening on ") == std::string::npos) {
            events.push_back(line);
        }
    }
    return events;
}

std::size_t filesIn(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        return 0;
    }
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    return files;
}

class StationEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        prepareStation(paths, stationFolder.path(), "nogoaddress1=" + blocked().address + "\n");
        fs::create_directory(runtime());
        replaceWorld(world(), worldText(phones, 0.05));
        picture = readWholeFile(stationFolder.path() / "testpic.gif");
        ASSERT_FALSE(picture.empty());
    }

    const Phone& accepting1() const { return phones[0]; }
    const Phone& accepting2() const { return phones[1]; }
    const Phone& blocked() const { return phones[2]; }
    const Phone& refusing() const { return phones[3]; }

    fs::path runtime() const { return work.path() / "runtime"; }
    fs::path world() const { return work.path() / "world.ini"; }
    fs::path archive() const { return stationFolder.path() / "devices.arc"; }
    std::string received(const fs::path& inbox, const Phone& phone) const {
        return readWholeFile(inbox / compactAddress(phone.address) / "welcome.gif");
    }
    std::string errorLog() const {
        return utf16leToUtf8(readWholeFile(stationFolder.path() / "Nyvex_err.txt"));
    }
    std::uint16_t archiveCount() const {
        const std::string bytes = readWholeFile(archive());
        return bytes.size() < 2
                   ? 0
                   : static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[0]) |
                                                static_cast<unsigned char>(bytes[1]) << 8);
    }

    // Ends the station as an operator's service manager would and checks that it saved.
    void stopStation(ChildProcess& station) {
        const auto exitCode = station.stop(SIGTERM, seconds(10));
        ASSERT_TRUE(exitCode.has_value()) << "the station did not end within 10 s of SIGTERM";
        EXPECT_EQ(*exitCode, 0) << station.errors();
        EXPECT_NE(station.output().find("Nyvex stopping: device memory saved."), std::string::npos)
            << station.output();
        // Problems the station could not log, and sanitizer reports, land on stderr.
        EXPECT_EQ(station.errors(), "");
    }

    void expectArchiveHolds(std::uintmax_t devices) {
        ASSERT_TRUE(fs::exists(archive()));
        EXPECT_EQ(fs::file_size(archive()), archiveHeader + archiveRecord * devices);
        EXPECT_EQ(archiveCount(), devices);
    }

    TempFolder stationFolder;
    TempFolder work;
    std::vector<Phone> phones{{"00:11:22:AA:BB:01", "accept"},
                              {"00:11:22:AA:BB:02", "accept"},
                              {"00:11:22:AA:BB:03", "accept"},
                              {"00:11:22:AA:BB:04", "refuse"}};
    std::string picture;
};

TEST_F(StationEndToEnd, ServesAcceptingPhonesSkipsBlockedCountsRefusedAndRemembersAcrossRuns) {
    const fs::path inbox = work.path() / "inbox";
    {
        SCOPED_TRACE("first run");
        auto phonesim = startPhonesim(paths, world(), inbox, work.path());
        ASSERT_TRUE(phonesimListening(*phonesim, phones.size())) << phonesim->errors();
        auto station = startStation(paths, stationFolder.path(), world(), runtime(), "first");

        // The counters reach the status line up to 10 s after the pushes ended.
        const bool delivered = waitUntil(
            [&] {
                return received(inbox, accepting1()) == picture &&
                       received(inbox, accepting2()) == picture &&
                       anyLineHas(statusLines(station->output()), "sent 2 failed 1");
            },
            seconds(90), pollFiles);
        EXPECT_TRUE(delivered) << "station:\n"
                               << station->output() << station->errors() << "phonesim:\n"
                               << phonesim->output() << "log:\n"
                               << errorLog();
        EXPECT_EQ(filesIn(inbox / compactAddress(blocked().address)), 0u);
        EXPECT_TRUE(pushEvents(phonesim->output(), blocked().address).empty())
            << phonesim->output();
        EXPECT_EQ(pushEvents(phonesim->output(), refusing().address),
                  std::vector<std::string>{refusing().address + " refused welcome.gif"});
        EXPECT_EQ(filesIn(inbox / compactAddress(refusing().address)), 0u);

        stopStation(*station);
        // The two accepting phones and the refusing one were served; the blocked one was not.
        expectArchiveHolds(3);
        EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
    }
    // The first start had no archive yet and said so; a start that finds it stays quiet.
    const std::size_t storeReports = countOf(errorLog(), "err while setting up store");
    const fs::path secondInbox = work.path() / "inbox2";
    {
        SCOPED_TRACE("second run");
        auto phonesim = startPhonesim(paths, world(), secondInbox, work.path());
        ASSERT_TRUE(phonesimListening(*phonesim, phones.size())) << phonesim->errors();
        auto station = startStation(paths, stationFolder.path(), world(), runtime(), "second");

        // Three status lines span over 20 s: time for the first passes of the scanner and the
        // back office and for any push they would start.
        const bool watched = waitUntil(
            [&] {
                const auto lines = statusLines(station->output());
                return lines.size() >= 3 && anyLineHas(lines, "found 4");
            },
            seconds(45), pollFiles);
        const auto lines = statusLines(station->output());
        ASSERT_TRUE(watched) << station->output() << station->errors();
        EXPECT_NE(lines.back().find("sent 0 failed 0 remembered 3"), std::string::npos)
            << station->output();
        for (const Phone& phone : phones) {
            EXPECT_TRUE(pushEvents(phonesim->output(), phone.address).empty())
                << phonesim->output();
            EXPECT_EQ(filesIn(secondInbox / compactAddress(phone.address)), 0u) << phone.address;
        }
        stopStation(*station);
        expectArchiveHolds(3);
        EXPECT_EQ(countOf(errorLog(), "err while setting up store"), storeReports) << errorLog();
        EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
    }
}

// A station folder whose settings stop start-up: the station ends at once with exit code 1, its
// report in the error log and on stderr (nobody is there to read a dialog), before it runs
// anything.
TEST(HeadlessStartup, BrokenSettingsEndTheStationWithTheirReport) {
    struct Case {
        const char* name;
        std::string settings;
        std::string report;
    };
    const Case cases[] = {
        {"no version", "[Tolvik]\npath=/tmp/\n", "Fehler : version not found\r\n"},
        {"wrong version", "[Tolvik]\nversion=1.062\n", "Fehler : version mismatch\r\n"},
        {"incomplete", "[Tolvik]\nversion=1.061\n", "Fehler : configuration incomplete\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder station;
        TempFolder runtime;
        prepareStation(paths, station.path(), "");
        station.write("appTolvik.ini", c.settings);
        auto nyvex = startStation(paths, station.path(), runtime.path() / "world.ini",
                                  runtime.path(), "nyvex");
        const auto exitCode = nyvex->waitForExit(seconds(20));
        ASSERT_TRUE(exitCode.has_value()) << "still running";
        EXPECT_EQ(*exitCode, 1);
        EXPECT_EQ(nyvex->output(), "");
        EXPECT_NE(
            nyvex->errors().find("start-up failed: " + c.report.substr(9, c.report.size() - 11)),
            std::string::npos)
            << nyvex->errors();
        const std::string log = utf16leToUtf8(station.read("Nyvex_err.txt"));
        EXPECT_NE(log.find(c.report), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(station.path() / "devices.arc"));
    }
}

}  // namespace
}  // namespace e2e
