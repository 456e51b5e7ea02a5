// The Debian package on this machine: installed with apt, which brings what it depends on; the
// installed station, run as the package's service user from a state folder the installed
// helper prepared, serves a simulated phone (phonesim from the package) and talks to a test
// socket standing in for systemd; then the package is purged and nothing of it is left.
//
// It changes the machine, so it runs only as root (CI), never where a station is installed
// already, and leaves the machine as it found it: the package, the packages apt brought for
// it, the service user and the groups it created go again. Only what this install brought is
// purged: a package another program installs meanwhile is not the test's to remove.

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "tests/common/notifysocket.h"
#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"
#include "tests/packaging/layout.h"

namespace packaging {
namespace {

namespace fs = std::filesystem;
using std::chrono::minutes;
using std::chrono::seconds;
using testing_support::ChildProcess;
using testing_support::NotifySocket;
using testing_support::ProcessResult;
using testing_support::runProcess;
using testing_support::TempFolder;

const std::map<std::string, std::string> quietApt{{"DEBIAN_FRONTEND", "noninteractive"}};

std::set<std::string> installedPackages() {
    const auto query =
        runProcess({"/usr/bin/dpkg-query", "-W", "-f=${db:Status-Abbrev}${Package}\\n"}, "", {});
    std::set<std::string> packages;
    std::istringstream lines(query.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("ii ")) {
            packages.insert(line.substr(3));
        }
    }
    return packages;
}

bool userExists(const char* name) {
    return ::getpwnam(name) != nullptr;
}
bool groupExists(const char* name) {
    return ::getgrnam(name) != nullptr;
}

bool userInGroup(const char* user, const char* groupName) {
    const passwd* account = ::getpwnam(user);
    const struct group* wanted = ::getgrnam(groupName);
    if (account == nullptr || wanted == nullptr) {
        return false;
    }
    gid_t groups[64];
    int count = 64;
    ::getgrouplist(user, account->pw_gid, groups, &count);
    for (int i = 0; i < count; ++i) {
        if (groups[i] == wanted->gr_gid) {
            return true;
        }
    }
    return false;
}

// Runs `argv` as the service user with its groups, as systemd would.
std::vector<std::string> asServiceUser(std::vector<std::string> argv) {
    argv.insert(argv.begin(),
                {"/usr/bin/setpriv", "--reuid=nyvex", "--regid=nyvex", "--init-groups", "--"});
    return argv;
}

// The packages an "apt-get install" lists as new, in the order it lists them.
std::vector<std::string> newPackagesIn(const std::string& aptOutput) {
    std::vector<std::string> packages;
    std::istringstream lines(aptOutput);
    bool inList = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("The following NEW packages will be installed")) {
            inList = true;
        } else if (inList && line.starts_with(" ")) {
            std::istringstream names(line);
            for (std::string name; names >> name;) {
                packages.push_back(name);
            }
        } else {
            inList = false;
        }
    }
    return packages;
}

ProcessResult apt(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(),
                     {"/usr/bin/apt-get", "-y", "-q", "-o", "DPkg::Lock::Timeout=600"});
    return runProcess(arguments, "", quietApt, minutes(15));
}

class PackageOnThisMachine : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "installing a package needs root (CI runs as root)";
        }
        // A station removed without purging still has its state folder here; the purge at
        // the end would delete its device memory and campaigns.
        if (runProcess({"/usr/bin/dpkg-query", "-W", "nyvex"}, "", {}).exitCode == 0 ||
            fs::exists("/var/lib/nyvex")) {
            GTEST_SKIP() << "a station is or was installed on this machine; it is left alone";
        }
        before = installedPackages();
        userBefore = userExists("nyvex");
        groupsBefore = {{"nyvex", groupExists("nyvex")}, {"bluetooth", groupExists("bluetooth")}};
        for (const auto& entry : fs::directory_iterator(NYVEX_PACKAGE_DIR)) {
            if (entry.path().extension() == ".deb") {
                deb = entry.path();
            }
        }
        ASSERT_FALSE(deb.empty()) << "no package in " << NYVEX_PACKAGE_DIR;
        cleanUp = true;
    }

    // Puts the machine back: the package and what apt brought for it, the user and groups.
    void TearDown() override {
        if (!cleanUp) {
            return;
        }
        const auto installed = installedPackages();
        std::vector<std::string> left{"purge"};
        for (const auto& package : brought) {
            if (installed.contains(package)) {
                left.push_back(package);
            }
        }
        if (left.size() > 1) {
            const auto purge = apt(left);
            EXPECT_EQ(purge.exitCode, 0) << purge.output;
        }
        if (!userBefore && userExists("nyvex")) {
            runProcess({"/usr/sbin/userdel", "nyvex"}, "", {});
        }
        for (const auto& [group, existed] : groupsBefore) {
            if (!existed && groupExists(group.c_str())) {
                runProcess({"/usr/sbin/groupdel", group}, "", {});
            }
        }
        const auto after = installedPackages();
        for (const auto& package : brought) {
            EXPECT_FALSE(after.contains(package)) << package << " stayed";
        }
        for (const auto& package : before) {
            EXPECT_TRUE(after.contains(package)) << package << " went";
        }
        EXPECT_EQ(userExists("nyvex"), userBefore);
    }

    // Installs the package; what apt brought is remembered for the clean-up. Package lists
    // older than the archive (a machine whose packages were all there, so nothing updated
    // them) name files the mirror no longer has: apt says so, and one update mends it.
    ProcessResult install() {
        const std::vector<std::string> command{"install", "--no-install-recommends", deb.string()};
        auto result = apt(command);
        brought = newPackagesIn(result.output);
        if (result.exitCode != 0 && result.output.find("apt-get update") != std::string::npos) {
            apt({"update"});
            result = apt(command);
            const auto more = newPackagesIn(result.output);
            brought.insert(brought.end(), more.begin(), more.end());
        }
        return result;
    }

    std::set<std::string> before;
    std::vector<std::string> brought;
    bool userBefore = false;
    std::map<std::string, bool> groupsBefore;
    fs::path deb;
    bool cleanUp = false;
};

TEST_F(PackageOnThisMachine, InstallsServesASimulatedPhoneAndPurgesCleanly) {
    const fs::path prefix = "/usr";
    {
        SCOPED_TRACE("install");
        const auto installing = install();
        ASSERT_EQ(installing.exitCode, 0) << installing.output;
        EXPECT_NE(std::find(brought.begin(), brought.end(), "nyvex"), brought.end())
            << installing.output;
        EXPECT_TRUE(installedPackages().contains("nyvex"));
        for (const auto& file : installedFiles()) {
            EXPECT_TRUE(fs::exists(prefix / file)) << file;
        }
        EXPECT_TRUE(userExists("nyvex"));
        EXPECT_TRUE(userInGroup("nyvex", "bluetooth")) << "bluetoothd's policy needs the group";
        for (const char* unit : {"nyvex.service", "nyvex-phonesim.service"}) {
            const auto verify =
                runProcess({"/usr/bin/systemd-analyze", "verify", unit}, "", {}, seconds(60));
            EXPECT_EQ(verify.exitCode, 0) << verify.output;
            EXPECT_EQ(verify.output, "") << unit;
        }
    }

    TempFolder work;
    fs::permissions(work.path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const fs::path state = work.path() / "state";
    const fs::path runtime = work.path() / "runtime";
    const passwd* account = ::getpwnam("nyvex");
    ASSERT_NE(account, nullptr);
    for (const fs::path& folder : {state, runtime}) {
        fs::create_directory(folder);
        ASSERT_EQ(::chown(folder.c_str(), account->pw_uid, account->pw_gid), 0);
    }
    // The test's own world (a free port) is kept: the helper never replaces a file.
    const e2e::Phone phone{"00:11:22:AA:BB:01", "accept"};
    e2e::replaceWorld(state / "world.ini", e2e::worldText({phone}, 0.05));
    ASSERT_EQ(::chown((state / "world.ini").c_str(), account->pw_uid, account->pw_gid), 0);
    {
        SCOPED_TRACE("prepare the state folder as the service user");
        const auto prepared =
            runProcess(asServiceUser({"/usr/libexec/nyvex/prepare-state", "/usr/share/nyvex",
                                      state.string(), "--simulation"}),
                       "", {});
        ASSERT_EQ(prepared.exitCode, 0) << prepared.output;
        EXPECT_EQ(prepared.output, "prepare-state: prepared " + state.string() +
                                       ": appTolvik.ini resource.xml testpic.gif kampa_1.png "
                                       "manufacturers.dat tolvik.ini inbox/\n");
    }
    {
        SCOPED_TRACE("the installed station as the service user");
        auto phonesim = std::make_unique<ChildProcess>(
            ChildProcess::Setup{asServiceUser({"/usr/bin/phonesim", (state / "world.ini").string(),
                                               (state / "inbox").string()}),
                                state.string(),
                                {},
                                (work.path() / "phonesim.out").string(),
                                (work.path() / "phonesim.err").string()});
        ASSERT_TRUE(e2e::phonesimListening(*phonesim, 1)) << phonesim->errors();

        NotifySocket manager;
        ASSERT_TRUE(manager.isBound());
        ChildProcess station(
            ChildProcess::Setup{asServiceUser({"/usr/bin/Nyvex", "--headless"}),
                                state.string(),
                                {{"NYVEX_SIMULATION", (state / "world.ini").string()},
                                 {"XDG_RUNTIME_DIR", runtime.string()},
                                 {"NOTIFY_SOCKET", manager.address()},
                                 {"WATCHDOG_USEC", "60000000"}},
                                (work.path() / "station.out").string(),
                                (work.path() / "station.err").string()});
        EXPECT_EQ(manager.receive(seconds(30)), "READY=1\nSTATUS=started") << station.errors();
        const auto pings = manager.receiveUntil("WATCHDOG=1", seconds(30));
        EXPECT_FALSE(pings.empty() || pings.back() != "WATCHDOG=1") << station.errors();

        const fs::path received =
            state / "inbox" / e2e::compactAddress(phone.address) / "welcome.gif";
        const bool served =
            e2e::waitUntil([&] { return fs::exists(received); }, seconds(60), e2e::pollFiles);
        EXPECT_TRUE(served) << station.output() << station.errors();
        EXPECT_EQ(readFile(received), readFile("/usr/share/nyvex/testpic.gif"));

        ::kill(station.pid(), SIGTERM);
        const auto stopping = manager.receiveUntil("STOPPING=1", seconds(20));
        EXPECT_FALSE(stopping.empty() || stopping.back().find("STOPPING=1") == std::string::npos);
        EXPECT_EQ(station.waitForExit(seconds(30)), 0) << station.errors();
        EXPECT_EQ(station.errors(), "");
        struct stat archive {};
        ASSERT_EQ(::stat((state / "devices.arc").c_str(), &archive), 0) << "memory saved";
        EXPECT_EQ(archive.st_uid, account->pw_uid);
        EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
    }
    {
        SCOPED_TRACE("purge");
        const auto purge = apt({"purge", "nyvex"});
        ASSERT_EQ(purge.exitCode, 0) << purge.output;
        EXPECT_FALSE(installedPackages().contains("nyvex"));
        for (const auto& file : installedFiles()) {
            EXPECT_FALSE(fs::exists(prefix / file)) << file;
        }
        EXPECT_FALSE(fs::exists("/usr/share/nyvex"));
        EXPECT_FALSE(fs::exists("/usr/lib/nyvex"));
    }
}

}  // namespace
}  // namespace packaging
