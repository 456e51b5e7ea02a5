// The program as a process: start-up steps and their reports in the station folder.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include <filesystem>
#include <string>

#include "platform/instance.h"
#include "tests/common/childprocess.h"
#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"
#include "tests/common/waituntil.h"

using testing_support::ChildProcess;
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
    testing_support::ProcessResult start(
        std::map<std::string, std::string> environment = {}) const {
        environment.insert(
            {{"QT_QPA_PLATFORM", "offscreen"}, {"XDG_RUNTIME_DIR", runtime.path().string()}});
        return testing_support::runProcess({std::string(NYVEX_BIN_DIR) + "/Nyvex"},
                                           folder.path().string(), environment);
    }
    // The station without a window, running `program` in the world file `world`.
    std::unique_ptr<ChildProcess> startHeadless(const std::string& program,
                                                const std::string& world) const {
        return std::make_unique<ChildProcess>(ChildProcess::Setup{
            {program, "--headless"},
            folder.path().string(),
            {{"NYVEX_SIMULATION", world}, {"XDG_RUNTIME_DIR", runtime.path().string()}},
            runtime.file("out"),
            runtime.file("err")});
    }
    std::string log() const { return errorLogText(folder.path().string(), "Nyvex_err.txt"); }
};

// With the push and journal settings too, which are reported when missing.
std::string completeSettings(const TempFolder& dir) {
    const std::string d = dir.path().string();
    return "[Tolvik]\nversion=1.061\npath=" + d + "/\narchfile=" + d +
           "/mem.arc\nduration=1\nmanufac=m.dat\nobexpacket=430\nanswerwait=9\njournaldays=365\n";
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
    // A first start has no device memory file yet, and this machine has no radio: both are
    // reported, and start-up goes on.
    const std::string log = station.log();
    const std::string store = "Fehler : err while setting up store\r\n";
    const std::string radio =
        "Fehler : no radio found: nothing is scanned or sent until a radio "
        "is plugged in\r\n";
    EXPECT_NE(log.find(store), std::string::npos) << log;
    EXPECT_NE(log.find(radio), std::string::npos) << log;
    EXPECT_EQ(log.find("Fehler :", log.find(store) + store.size()), log.find(radio)) << log;
    EXPECT_EQ(log.find("Fehler :", log.find(radio) + radio.size()), std::string::npos) << log;
}

TEST(StartupProcess, SecondInstanceIsRefused) {
    Station station("");
    station.folder.write("appTolvik.ini", completeSettings(station.folder));
    platform::SingleInstanceLock first(station.runtime.path().string());
    ASSERT_EQ(first.acquire(10), platform::SingleInstanceLock::Outcome::acquired);
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

// A runtime folder that is gone (a stale session, su, a service) is no second instance: the
// lock goes to the temporary folder. The folder lies below a file, so that nothing (Qt creates
// a missing runtime folder where it can) makes it exist.
TEST(StartupProcess, ARuntimeFolderThatIsGoneIsNoSecondInstance) {
    Station station("");
    station.folder.write("appTolvik.ini", completeSettings(station.folder));
    const TempFolder temporary;
    const std::string notAFolder = station.runtime.write("file", "");
    const auto result = station.start(
        {{"XDG_RUNTIME_DIR", notAFolder + "/gone"}, {"TMPDIR", temporary.path().string()}});
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(station.log().find("Started twice."), std::string::npos) << station.log();
    EXPECT_TRUE(std::filesystem::exists(temporary.path() / "orvanheim.lock"));
}

// Headless, a station that cannot work says why, in the error log and on stderr.
TEST(StartupProcess, AHeadlessStationThatCannotWorkSaysWhy) {
    struct Case {
        const char* what;
        std::vector<std::string> libraries;  // beside the program
        bool radio;
        std::string report;
    };
    const Case cases[] = {
        {"no radio",
         {"libRadiox.so", "libObexa.so"},
         false,
         "no radio found: nothing is scanned or sent until a radio is plugged in"},
        {"no push library",
         {"libRadiox.so"},
         true,
         "push library libObexa.so not loaded: nothing is sent"},
        {"no radio library", {}, true, "radio library libRadiox.so not loaded: nothing is scanned"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Station station("");
        station.folder.write("appTolvik.ini", completeSettings(station.folder));
        const std::string world = station.folder.write(
            "world.ini", c.radio ? "[radio]\naddress=00:1A:7D:DA:71:13\ntimescale=0\n" : "");
        // The program in a folder of its own, with only the libraries of the case beside it.
        const TempFolder programFolder;
        std::vector<std::string> files = c.libraries;
        files.push_back("Nyvex");
        for (const std::string& name : files) {
            std::filesystem::copy_file(std::string(NYVEX_BIN_DIR) + "/" + name,
                                       programFolder.path() / name);
        }
        auto nyvex = station.startHeadless(programFolder.file("Nyvex"), world);
        EXPECT_TRUE(testing_support::waitUntil(
            [&] { return nyvex->errors().find(c.report) != std::string::npos; },
            std::chrono::seconds(20), std::chrono::milliseconds(50)))
            << nyvex->errors();
        EXPECT_EQ(nyvex->stop(SIGTERM, std::chrono::seconds(20)), 0);
        EXPECT_NE(station.log().find("Fehler : " + c.report), std::string::npos) << station.log();
    }
}
