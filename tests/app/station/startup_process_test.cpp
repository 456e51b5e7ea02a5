// The program as a process: start-up steps and their reports in the station folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/instance.h"
#include "tests/common/childprocess.h"
#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"

using testing_support::errorLogText;
using testing_support::TempFolder;

namespace {

const std::string texts =
    "<reso langu=\"English\"><resstr cod=\"prog_already_started\">Already running</resstr></reso>";

struct Station {
    TempFolder folder;
    TempFolder runtime;

    explicit Station(const std::string& settings) {
        folder.write("appTolvik.ini", settings);
        folder.write("resource.xml", texts);
    }
    testing_support::ProcessResult start() const {
        return testing_support::runProcess(
            {std::string(NYVEX_BIN_DIR) + "/Nyvex"}, folder.path().string(),
            {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", runtime.path().string()}});
    }
    std::string log() const { return errorLogText(folder.path().string(), "Nyvex_err.txt"); }
};

// With the push settings too, which are reported when missing.
std::string completeSettings(const TempFolder& dir) {
    const std::string d = dir.path().string();
    return "[Tolvik]\nversion=1.061\npath=" + d + "/\narchfile=" + d +
           "/mem.arc\nduration=1\nmanufac=m.dat\nobexpacket=430\nanswerwait=9\n";
}

}  // namespace

TEST(StartupProcess, FailuresEndStartUpWithTheirReport) {
    struct Case {
        const char* name;
        std::string settings;
        bool removeTexts;
        std::string report;
    };
    const Case cases[] = {
        {"no version", "[Tolvik]\npath=/tmp/\n", false, "Fehler : version not found\r\n"},
        {"wrong version", "[Tolvik]\nversion=1.062\n", false, "Fehler : version mismatch\r\n"},
        {"no texts", "[Tolvik]\nversion=1.061\n", true, "Fehler : XML parsing failed!\r\n"},
        {"incomplete", "[Tolvik]\nversion=1.061\n", false, "Fehler : configuration incomplete\r\n"},
    };
    for (const auto& c : cases) {
        Station station(c.settings);
        if (c.removeTexts) {
            std::filesystem::remove(station.folder.path() / "resource.xml");
        }
        const auto result = station.start();
        EXPECT_FALSE(result.timedOut) << c.name;
        EXPECT_EQ(result.exitCode, 1) << c.name << "\n" << result.output;
        const std::string log = station.log();
        EXPECT_NE(log.find(c.report), std::string::npos) << c.name << "\n" << log;
        EXPECT_NE(log.find("Fehlerquelle : CNyvexApp*"), std::string::npos) << log;
    }
}

TEST(StartupProcess, CompleteConfigurationStartsAndEndsCleanly) {
    Station station("");
    station.folder.write("appTolvik.ini", completeSettings(station.folder));
    const auto result = station.start();
    EXPECT_EQ(result.exitCode, 0) << result.output;
    // A first start has no device memory file yet: that is reported, and start-up goes on.
    const std::string log = station.log();
    EXPECT_NE(log.find("Fehler : err while setting up store\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Fehler :"), log.rfind("Fehler :")) << log;
}

TEST(StartupProcess, SecondInstanceIsRefused) {
    Station station("");
    station.folder.write("appTolvik.ini", completeSettings(station.folder));
    platform::SingleInstanceLock first(station.runtime.path().string());
    ASSERT_TRUE(first.acquire(10));
    const auto result = station.start();
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("Already running"), std::string::npos) << result.output;
    EXPECT_NE(station.log().find("Fehler : Started twice.\r\n"), std::string::npos);
}

TEST(StartupProcess, TheLeftoversOfSavesACrashCutShortAreRemovedAtStart) {
    Station station("");
    station.folder.write("appTolvik.ini", completeSettings(station.folder));
    const char* leftovers[] = {"mem.arc.tmp-a1B2c3", "mem.arc.tmp-Zz9Zz9",
                               "appTolvik.ini.tmp-000000", "tolvik.ini.tmp-xYz123"};
    const char* kept[] = {"mem.arc.backup", "notes.tmp-a1B2c3"};
    for (const char* name : leftovers) {
        station.folder.write(name, std::string(4096, 'x'));
    }
    for (const char* name : kept) {
        station.folder.write(name, "operator's");
    }
    const auto result = station.start();
    EXPECT_EQ(result.exitCode, 0) << result.output;
    const std::string log = station.log();
    for (const char* name : leftovers) {
        EXPECT_FALSE(std::filesystem::exists(station.folder.path() / name)) << name;
        EXPECT_NE(
            log.find("removed the leftover of an interrupted save: " + station.folder.file(name)),
            std::string::npos)
            << log;
    }
    for (const char* name : kept) {
        EXPECT_TRUE(std::filesystem::exists(station.folder.path() / name)) << name;
    }
}
