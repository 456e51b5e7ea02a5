// The station as it is installed: `cmake --install` into a folder of the test's own (no root
// needed), and the Debian package CPack made (the package_deb test builds it). Both hold
// exactly the station's files; the installed program finds its libraries through its run path
// and serves a simulated phone from the installed files alone; systemd accepts the units.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

#include "tests/common/tempfolder.h"
#include "tests/e2e/station.h"
#include "tests/packaging/layout.h"

namespace packaging {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;
using testing_support::runProcess;
using testing_support::TempFolder;

std::set<std::string> withPrefix(const std::string& prefix, const std::set<std::string>& files) {
    std::set<std::string> prefixed;
    for (const auto& file : files) {
        prefixed.insert(prefix + "/" + file);
    }
    return prefixed;
}

class StagedInstall : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        folder = std::make_unique<TempFolder>();
        const auto install = runProcess(
            {NYVEX_CMAKE_COMMAND, "--install", NYVEX_BUILD_DIR, "--prefix", prefix().string()}, "",
            {}, seconds(120));
        installOutput = install.output;
        installed = install.exitCode == 0;
    }
    static void TearDownTestSuite() { folder.reset(); }

    void SetUp() override { ASSERT_TRUE(installed) << installOutput; }

    static fs::path prefix() { return folder->path() / "usr"; }

    static std::unique_ptr<TempFolder> folder;
    static std::string installOutput;
    static bool installed;
};
std::unique_ptr<TempFolder> StagedInstall::folder;
std::string StagedInstall::installOutput;
bool StagedInstall::installed = false;

TEST_F(StagedInstall, HoldsExactlyTheStationsFiles) {
    EXPECT_EQ(filesBelow(prefix()), installedFiles());
    for (const char* program : {"bin/Nyvex", "bin/phonesim"}) {
        EXPECT_EQ(::access((prefix() / program).c_str(), X_OK), 0) << program;
    }
    EXPECT_EQ(::access((prefix() / NYVEX_INSTALL_HELPERDIR / "prepare-state").c_str(), X_OK), 0);
}

// The program loads its libraries by file name; the installed one finds them through a run
// path relative to itself, and nothing installed points back into the build tree.
TEST_F(StagedInstall, TheProgramFindsItsLibrariesThroughARelativeRunPath) {
    const std::string nyvex = dynamicSection(prefix() / NYVEX_INSTALL_BINDIR / "Nyvex");
    EXPECT_NE(nyvex.find("Library runpath: [$ORIGIN/../" NYVEX_INSTALL_LIBRARYDIR "]"),
              std::string::npos)
        << nyvex;
    for (const auto& file : installedFiles()) {
        if (file.ends_with(".so") || file.starts_with(NYVEX_INSTALL_BINDIR)) {
            EXPECT_EQ(dynamicSection(prefix() / file).find(NYVEX_BUILD_DIR), std::string::npos)
                << file;
        }
    }
}

TEST_F(StagedInstall, ServesASimulatedPhoneFromTheInstalledFilesAlone) {
    const fs::path data = prefix() / NYVEX_INSTALL_DATAROOTDIR / "nyvex";
    TempFolder work;
    const fs::path state = work.path() / "state";
    const e2e::Phone phone{"00:11:22:AA:BB:01", "accept"};
    fs::create_directory(state);
    e2e::replaceWorld(state / "world.ini", e2e::worldText({phone}, 0.05));

    const auto prepared =
        runProcess({(prefix() / NYVEX_INSTALL_HELPERDIR / "prepare-state").string(), data.string(),
                    state.string(), "--simulation"},
                   "", {});
    ASSERT_EQ(prepared.exitCode, 0) << prepared.output;

    const e2e::StationPaths installedPaths{"", (prefix() / NYVEX_INSTALL_BINDIR).string()};
    auto phonesim =
        e2e::startPhonesim(installedPaths, state / "world.ini", state / "inbox", work.path());
    ASSERT_TRUE(e2e::phonesimListening(*phonesim, 1)) << phonesim->errors();
    auto station =
        e2e::startStation(installedPaths, state, state / "world.ini", work.path(), "station");
    const fs::path received = state / "inbox" / e2e::compactAddress(phone.address) / "welcome.gif";
    const bool served =
        e2e::waitUntil([&] { return fs::exists(received); }, seconds(60), e2e::pollFiles);
    EXPECT_TRUE(served) << station->output() << station->errors();
    EXPECT_EQ(readFile(received), readFile(data / "testpic.gif"));
    EXPECT_EQ(station->stop(SIGTERM, seconds(20)), 0) << station->errors();
    EXPECT_EQ(station->errors(), "");
    EXPECT_EQ(phonesim->stop(SIGTERM, seconds(10)), 0);
}

// verify loads each unit as systemd would (keys, values, the programs they start); it warns
// on stderr and still exits 0, so its output must be empty too. The station is checked alone
// and with the simulation drop-in, which verify finds beside it on the unit path.
TEST_F(StagedInstall, SystemdAcceptsTheUnitsAndTheSimulationDropIn) {
    TempFolder units;
    for (const char* unit : {"nyvex.service", "nyvex-phonesim.service"}) {
        fs::copy_file(prefix() / "lib/systemd/system" / unit, units.path() / unit);
    }
    TempFolder withDropIn;
    fs::copy_file(units.path() / "nyvex.service", withDropIn.path() / "nyvex.service");
    fs::copy_file(units.path() / "nyvex-phonesim.service",
                  withDropIn.path() / "nyvex-phonesim.service");
    fs::create_directory(withDropIn.path() / "nyvex.service.d");
    fs::copy_file(prefix() / NYVEX_INSTALL_DATAROOTDIR / "nyvex/simulation.conf",
                  withDropIn.path() / "nyvex.service.d/simulation.conf");

    struct Case {
        fs::path folder;
        const char* unit;
    };
    for (const auto& [folder, unit] :
         {Case{units.path(), "nyvex.service"}, Case{units.path(), "nyvex-phonesim.service"},
          Case{withDropIn.path(), "nyvex.service"}}) {
        SCOPED_TRACE(folder.string() + "/" + unit);
        // The trailing colon keeps systemd's own unit folders on the path.
        const auto verify =
            runProcess({"/usr/bin/systemd-analyze", "verify", (folder / unit).string()}, "",
                       {{"SYSTEMD_UNIT_PATH", folder.string() + ":"}}, seconds(60));
        EXPECT_EQ(verify.exitCode, 0) << verify.output;
        EXPECT_EQ(verify.output, "");
    }
    const std::string dropIn = readFile(withDropIn.path() / "nyvex.service.d/simulation.conf");
    EXPECT_NE(dropIn.find("\nEnvironment=NYVEX_SIMULATION=%S/nyvex/world.ini\n"),
              std::string::npos);
}

// The package CPack made.
class DebianPackage : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const auto& entry : fs::directory_iterator(NYVEX_PACKAGE_DIR)) {
            if (entry.path().extension() == ".deb") {
                deb = entry.path();
            }
        }
        ASSERT_FALSE(deb.empty()) << "no package in " << NYVEX_PACKAGE_DIR;
    }

    std::string field(const std::string& name) const {
        std::string value =
            runProcess({"/usr/bin/dpkg-deb", "-f", deb.string(), name}, "", {}).output;
        while (!value.empty() && value.back() == '\n') {
            value.pop_back();
        }
        return value;
    }

    fs::path deb;
};

TEST_F(DebianPackage, IsNamedAfterItsNameVersionAndArchitecture) {
    EXPECT_EQ(field("Package"), "nyvex");
    EXPECT_EQ(field("Version"), std::string(NYVEX_VERSION) + "-1");
    EXPECT_EQ(deb.filename().string(),
              "nyvex_" + field("Version") + "_" + field("Architecture") + ".deb");
}

TEST_F(DebianPackage, HoldsExactlyTheStationsFilesBelowUsr) {
    const auto listing = runProcess({"/usr/bin/dpkg-deb", "--contents", deb.string()}, "", {});
    ASSERT_EQ(listing.exitCode, 0) << listing.output;
    std::set<std::string> files;
    std::istringstream lines(listing.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line.front() == 'd') {
            continue;  // folders
        }
        const auto at = line.find(" ./");
        ASSERT_NE(at, std::string::npos) << line;
        files.insert(line.substr(at + 2));
    }
    EXPECT_EQ(files, withPrefix("/usr", installedFiles()));
}

// Libraries from the binaries (dpkg-shlibdeps), the rest by hand: what the station talks to or
// reads at run time without linking it.
TEST_F(DebianPackage, DependsOnEverythingTheStationNeedsAtRunTime) {
    const std::string depends = field("Depends");
    for (const char* package :
         {"libc6", "libstdc++6", "libqt6widgets6", "libqt6core6", "libsystemd0", "libbluetooth3",
          "libexpat1", "bluez", "dbus", "media-types", "systemd | systemd-standalone-sysusers"}) {
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
    }
    EXPECT_EQ(field("Recommends"), "udev");
}

TEST_F(DebianPackage, UnitsAndScriptsNameTheInstalledPaths) {
    TempFolder tree;
    ASSERT_EQ(runProcess({"/usr/bin/dpkg-deb", "-x", deb.string(), tree.folder()}, "", {}).exitCode,
              0);
    const std::string service = readFile(tree.path() / "usr/lib/systemd/system/nyvex.service");
    EXPECT_NE(service.find("\nExecStart=/usr/bin/Nyvex --headless\n"), std::string::npos);
    EXPECT_NE(service.find("\nExecStartPre=/usr/" NYVEX_INSTALL_HELPERDIR
                           "/prepare-state /usr/share/nyvex %S/nyvex\n"),
              std::string::npos)
        << service;
    EXPECT_NE(dynamicSection(tree.path() / "usr/bin/Nyvex")
                  .find("[$ORIGIN/../" NYVEX_INSTALL_LIBRARYDIR "]"),
              std::string::npos);

    TempFolder control;
    ASSERT_EQ(
        runProcess({"/usr/bin/dpkg-deb", "-e", deb.string(), control.folder()}, "", {}).exitCode,
        0);
    for (const char* script : {"postinst", "prerm", "postrm"}) {
        EXPECT_EQ(::access((control.path() / script).c_str(), X_OK), 0) << script;
    }
    EXPECT_NE(readFile(control.path() / "postinst")
                  .find("systemd-sysusers /usr/lib/sysusers.d/nyvex.conf"),
              std::string::npos);
}

}  // namespace
}  // namespace packaging
