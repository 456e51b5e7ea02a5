// The headless station under a service manager: a test socket stands in for systemd's
// notification socket, and a file whose identity JOURNAL_STREAM names stands in for the
// journal. The station says when it is ready, pings the watchdog while it runs, hands over its
// status line, says when it stops, and repeats its error-log entries on the journal.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "tests/common/notifysocket.h"
#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;
using testing_support::NotifySocket;
using testing_support::TempFolder;

const StationPaths paths{NYVEX_SOURCE_DIR, NYVEX_BIN_DIR};

std::string streamOf(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

bool anyHas(const std::vector<std::string>& notices, const std::string& part) {
    return std::any_of(notices.begin(), notices.end(),
                       [&](const std::string& n) { return n.find(part) != std::string::npos; });
}

TEST(StationAsService, NotifiesTheManagerAndRepeatsItsErrorLogOnTheJournal) {
    TempFolder station;
    TempFolder work;
    prepareStation(paths, station.path(), "");
    // A damaged device memory: start-up reports it and the station runs on.
    writeWholeFile(station.path() / "devices.arc", std::string("\x05\x00\x01", 3));
    const Phone phone{"00:11:22:AA:BB:01", "accept"};
    const fs::path world = work.path() / "world.ini";
    replaceWorld(world, worldText({phone}, 0.05));
    const fs::path inbox = work.path() / "inbox";
    auto phonesim = startPhonesim(paths, world, inbox, work.path());
    ASSERT_TRUE(phonesimListening(*phonesim, 1)) << phonesim->errors();

    NotifySocket manager;
    ASSERT_TRUE(manager.isBound());
    const fs::path journal = work.path() / "journal";
    writeWholeFile(journal, "");
    ChildProcess nyvex(ChildProcess::Setup{{paths.binDir + "/Nyvex", "--headless"},
                                           station.folder(),
                                           {{"NYVEX_SIMULATION", world.string()},
                                            {"XDG_RUNTIME_DIR", work.folder()},
                                            {"NOTIFY_SOCKET", manager.address()},
                                            {"WATCHDOG_USEC", "60000000"},
                                            {"JOURNAL_STREAM", streamOf(journal)}},
                                           (work.path() / "station.out").string(),
                                           journal.string()});

    EXPECT_EQ(manager.receive(seconds(30)), "READY=1\nSTATUS=started") << nyvex.errors();
    // The first tick pings, and the first status line follows at once.
    const auto running = manager.receiveUntil("STATUS=S", seconds(30));
    EXPECT_TRUE(anyHas(running, "WATCHDOG=1")) << ::testing::PrintToString(running);
    EXPECT_TRUE(anyHas(running, "STATUS=S")) << ::testing::PrintToString(running);
    const bool served =
        waitUntil([&] { return fs::exists(inbox / compactAddress(phone.address) / "welcome.gif"); },
                  seconds(60), pollFiles);
    EXPECT_TRUE(served) << nyvex.output() << nyvex.errors();
    EXPECT_TRUE(anyHas(manager.receiveUntil("WATCHDOG=1", seconds(10)), "WATCHDOG=1"))
        << "pings go on while the station runs";

    ::kill(nyvex.pid(), SIGTERM);
    EXPECT_TRUE(anyHas(manager.receiveUntil("STOPPING=1", seconds(10)), "STOPPING=1"));
    const auto exitCode = nyvex.waitForExit(seconds(20));
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(*exitCode, 0);
    EXPECT_NE(nyvex.output().find("Nyvex stopping: device memory saved."), std::string::npos);
    // Error-log entries reach the journal as errors (priority 3).
    EXPECT_NE(nyvex.errors().find("<3>error log: err while setting up store ["), std::string::npos)
        << nyvex.errors();
    EXPECT_NE(nyvex.errors().find("<3>error log: device memory not loaded whole: "),
              std::string::npos);
    EXPECT_EQ(readWholeFile(station.path() / "devices.arc.damaged"), std::string("\x05\x00\x01", 3))
        << "the damaged memory is kept for the operator";
    EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
}

// The station under a test manager in the simulated world `world`, its stderr in a file.
std::unique_ptr<ChildProcess> startWatchedStation(const fs::path& station, const fs::path& world,
                                                  const NotifySocket& manager,
                                                  const fs::path& work) {
    return std::make_unique<ChildProcess>(
        ChildProcess::Setup{{paths.binDir + "/Nyvex", "--headless"},
                            station.string(),
                            {{"NYVEX_SIMULATION", world.string()},
                             {"XDG_RUNTIME_DIR", work.string()},
                             {"NOTIFY_SOCKET", manager.address()},
                             {"WATCHDOG_USEC", "60000000"}},
                            (work / "station.out").string(),
                            (work / "station.err").string()});
}

// A station that boots before its radio says so once, keeps running and serves the phones once
// the radio is there; a radio that goes is reported too.
TEST(StationAsService, ARadioMissingAtBootIsReportedAndAwaited) {
    TempFolder station;
    TempFolder work;
    prepareStation(paths, station.path(), "");
    const Phone phone{"00:11:22:AA:BB:02", "accept"};
    const fs::path world = work.path() / "world.ini";
    const std::string withRadio = worldText({phone}, 0.05);
    const std::string withoutRadio = withRadio.substr(withRadio.find("[phone1]"));
    replaceWorld(world, withoutRadio);
    const fs::path inbox = work.path() / "inbox";
    auto phonesim = startPhonesim(paths, world, inbox, work.path());
    ASSERT_TRUE(phonesimListening(*phonesim, 1)) << phonesim->errors();

    NotifySocket manager;
    ASSERT_TRUE(manager.isBound());
    auto nyvex = startWatchedStation(station.path(), world, manager, work.path());
    EXPECT_TRUE(anyHas(manager.receiveUntil("STATUS=Nyvex: no radio", seconds(30)),
                       "STATUS=Nyvex: no radio"));
    EXPECT_TRUE(nyvex->running());
    EXPECT_NE(nyvex->errors().find("Nyvex: no radio; the station waits for one"), std::string::npos)
        << nyvex->errors();

    replaceWorld(world, withRadio);
    EXPECT_TRUE(anyHas(manager.receiveUntil("radio is there", seconds(30)), "radio is there"));
    const bool served =
        waitUntil([&] { return fs::exists(inbox / compactAddress(phone.address) / "welcome.gif"); },
                  seconds(60), pollFiles);
    EXPECT_TRUE(served) << nyvex->output() << nyvex->errors();

    replaceWorld(world, withoutRadio);
    EXPECT_TRUE(anyHas(manager.receiveUntil("radio is gone", seconds(30)), "radio is gone"));
    EXPECT_EQ(countOf(nyvex->errors(), "Nyvex: no radio;"), 1u) << nyvex->errors();
    EXPECT_EQ(countOf(nyvex->errors(), "Nyvex: a radio is there"), 1u);
    EXPECT_EQ(nyvex->stop(SIGTERM, seconds(20)), 0) << nyvex->errors();
    EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
}

// A campaigns file that holds no campaign (here: damaged) leaves a station that finds phones and
// sends nothing; it says so once, and the file stays as it was for the operator to mend.
TEST(StationAsService, AStationWithoutAnActiveCampaignSaysItSendsNothing) {
    TempFolder station;
    TempFolder work;
    prepareStation(paths, station.path(), "");
    std::string damaged(3000, '\0');
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        damaged[i] = static_cast<char>(i * 131 + 7);
    }
    writeWholeFile(station.path() / "tolvik.ini", damaged);
    const fs::path world = work.path() / "world.ini";
    replaceWorld(world, worldText({Phone{"00:11:22:AA:BB:04", "accept"}}, 0.05));
    const fs::path inbox = work.path() / "inbox";
    auto phonesim = startPhonesim(paths, world, inbox, work.path());
    ASSERT_TRUE(phonesimListening(*phonesim, 1)) << phonesim->errors();

    NotifySocket manager;
    ASSERT_TRUE(manager.isBound());
    auto nyvex = startWatchedStation(station.path(), world, manager, work.path());
    EXPECT_TRUE(anyHas(manager.receiveUntil("no campaign is active", seconds(30)),
                       "STATUS=Nyvex: no campaign is active now"));
    EXPECT_TRUE(anyHas(manager.receiveUntil("WATCHDOG=1", seconds(10)), "WATCHDOG=1"))
        << "a station without a campaign is healthy";
    EXPECT_EQ(nyvex->stop(SIGTERM, seconds(20)), 0) << nyvex->errors();
    EXPECT_EQ(countOf(nyvex->errors(), "Nyvex: no campaign is active now"), 1u) << nyvex->errors();
    EXPECT_EQ(readWholeFile(station.path() / "tolvik.ini"), damaged);
    EXPECT_FALSE(fs::exists(inbox / compactAddress("00:11:22:AA:BB:04") / "welcome.gif"));
    EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
}

// A stop while a push is in flight: the station says what it waits for, lets the push end,
// remembers the phone and saves the memory before it exits; the phone holds the whole file.
TEST(StationAsService, AStopDuringAPushLetsItEndAndSavesTheMemory) {
    TempFolder station;
    TempFolder work;
    prepareStation(paths, station.path(), "");
    // About 20 packets, each answered a second late by the slow phone.
    std::string picture(8000, '\0');
    for (std::size_t i = 0; i < picture.size(); ++i) {
        picture[i] = static_cast<char>(i * 7 + i / 251);
    }
    writeWholeFile(station.path() / "large.gif", picture);
    writeWholeFile(station.path() / "tolvik.ini",
                   "[campaign1]\ncampaname=Large\nsendfilename=welcome\nmediafile=large.gif\n"
                   "prio=1000\nscheduletyp=0\nnumperiods=0\n");
    const Phone phone{"00:11:22:AA:BB:03", "slow"};
    const fs::path world = work.path() / "world.ini";
    replaceWorld(world, worldText({phone}, 0.05));
    const fs::path inbox = work.path() / "inbox";
    auto phonesim = startPhonesim(paths, world, inbox, work.path());
    ASSERT_TRUE(phonesimListening(*phonesim, 1)) << phonesim->errors();

    NotifySocket manager;
    ASSERT_TRUE(manager.isBound());
    auto nyvex = startWatchedStation(station.path(), world, manager, work.path());
    // The status line counts the pushes in flight after the O of the sender.
    const auto pushing = manager.receiveUntil("O1 found", seconds(60));
    ASSERT_TRUE(anyHas(pushing, "O1 found")) << ::testing::PrintToString(pushing);
    const fs::path received = inbox / compactAddress(phone.address) / "welcome.gif";
    ASSERT_FALSE(fs::exists(received)) << "the push ended before the stop";

    ::kill(nyvex->pid(), SIGTERM);
    EXPECT_TRUE(anyHas(manager.receiveUntil("STOPPING=1", seconds(10)), "STOPPING=1"));
    const auto exitCode = nyvex->waitForExit(seconds(120));
    ASSERT_TRUE(exitCode.has_value()) << nyvex->output();
    EXPECT_EQ(*exitCode, 0) << nyvex->errors();
    EXPECT_NE(nyvex->output().find("Nyvex stopping: waiting for 1 push in flight to end."),
              std::string::npos)
        << nyvex->output();
    EXPECT_EQ(readWholeFile(received), picture);
    EXPECT_EQ(fs::file_size(station.path() / "devices.arc"), 2u + 80u) << "the phone remembered";
    EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
}

}  // namespace
}  // namespace e2e
