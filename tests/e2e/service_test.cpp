// The headless station under a service manager: a test socket stands in for systemd's
// notification socket, and a file whose identity JOURNAL_STREAM names stands in for the
// journal. The station says when it is ready, pings the watchdog while it runs, hands over its
// status line, says when it stops, and repeats its error-log entries on the journal.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

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
    EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
}

}  // namespace
}  // namespace e2e
