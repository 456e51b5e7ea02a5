// The service's state-folder helper (packaging/prepare-state): it fills a state folder from
// the shipped files without ever replacing what is there, and refuses, with one line and exit
// status 1, a folder the station could not work in.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "tests/common/childprocess.h"
#include "tests/common/tempfolder.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProcessResult;
using testing_support::runProcess;
using testing_support::TempFolder;

constexpr uid_t nobody = 65534;

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void writeFile(const fs::path& file, const std::string& content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
}

// The shipped files as the package lays them out in share/nyvex, and a state folder. The
// helper runs as an unprivileged user: the user itself, or "nobody" when the test runs as
// root, for whom file modes would mean nothing.
class PrepareState : public ::testing::Test {
  public:
    void SetUp() override {
        fs::permissions(work.path(), fs::perms::owner_all | fs::perms::others_exec);
        makeData();
        fs::create_directory(state());
        own(state());
    }

    void makeData() const {
        fs::remove_all(data());
        fs::create_directories(data() / "demo");
        fs::copy_file(fs::path(NYVEX_SOURCE_DIR) / "data/appTolvik.ini.in",
                      data() / "appTolvik.ini.in");
        for (const char* name : {"resource.xml", "testpic.gif", "kampa_1.png"}) {
            fs::copy_file(fs::path(NYVEX_SOURCE_DIR) / "data/station" / name, data() / name);
        }
        writeFile(data() / "manufacturers.dat", "table");
        for (const char* name : {"world.ini", "tolvik.ini"}) {
            fs::copy_file(fs::path(NYVEX_SOURCE_DIR) / "data/demo" / name, data() / "demo" / name);
        }
    }

    fs::path data() const { return work.path() / "share"; }
    fs::path state() const { return work.path() / "state"; }

    // Hands `path` to the user the helper runs as.
    void own(const fs::path& path) const {
        if (::geteuid() == 0) {
            EXPECT_EQ(::lchown(path.c_str(), nobody, nobody), 0);
        }
    }

    ProcessResult prepare(const std::string& option = "") const {
        return prepareIn(state(), option);
    }

    ProcessResult prepareIn(const fs::path& folder, const std::string& option = "") const {
        std::vector<std::string> argv{NYVEX_SOURCE_DIR "/packaging/prepare-state", data().string(),
                                      folder.string()};
        if (!option.empty()) {
            argv.push_back(option);
        }
        if (::geteuid() == 0) {
            argv.insert(argv.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                       "--clear-groups", "--"});
        }
        return runProcess(argv, "", {});
    }

    TempFolder work;
};

TEST_F(PrepareState, FillsAFreshFolderWithSettingsAndLinksToTheShippedFiles) {
    const auto result = prepare();
    ASSERT_EQ(result.exitCode, 0) << result.output;
    EXPECT_EQ(result.output, "prepare-state: prepared " + state().string() +
                                 ": appTolvik.ini resource.xml testpic.gif kampa_1.png "
                                 "manufacturers.dat\n");
    const std::string settings = readFile(state() / "appTolvik.ini");
    EXPECT_NE(settings.find("\npath=" + state().string() + "/\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("\narchfile=" + state().string() + "/devices.arc\n"),
              std::string::npos);
    for (const char* name : {"resource.xml", "testpic.gif", "kampa_1.png", "manufacturers.dat"}) {
        EXPECT_EQ(fs::read_symlink(state() / name), data() / name) << name;
    }
    EXPECT_FALSE(fs::exists(state() / "tolvik.ini")) << "campaigns are the operator's";
    EXPECT_FALSE(fs::exists(state() / "world.ini"));
}

TEST_F(PrepareState, NeverReplacesWhatTheFolderHolds) {
    ASSERT_EQ(prepare().exitCode, 0);
    writeFile(state() / "appTolvik.ini", "[Tolvik]\nversion=1.061\narchfile=devices.arc\n");
    fs::remove(state() / "resource.xml");
    writeFile(state() / "resource.xml", "<own/>");
    writeFile(state() / "world.ini", "[radio]\n");
    for (const char* name : {"appTolvik.ini", "resource.xml", "world.ini"}) {
        own(state() / name);
    }

    const auto again = prepare("--simulation");
    ASSERT_EQ(again.exitCode, 0) << again.output;
    EXPECT_EQ(again.output,
              "prepare-state: prepared " + state().string() + ": tolvik.ini inbox/\n");
    EXPECT_EQ(readFile(state() / "appTolvik.ini"),
              "[Tolvik]\nversion=1.061\narchfile=devices.arc\n");
    EXPECT_EQ(readFile(state() / "resource.xml"), "<own/>");
    EXPECT_EQ(readFile(state() / "world.ini"), "[radio]\n");
    EXPECT_EQ(readFile(state() / "tolvik.ini"), readFile(data() / "demo/tolvik.ini"));
    EXPECT_TRUE(fs::is_directory(state() / "inbox"));

    const auto third = prepare("--simulation");
    EXPECT_EQ(third.exitCode, 0);
    EXPECT_EQ(third.output, "") << "nothing left to add";
}

// systemd makes the state folder before the helper runs; run by hand, the helper makes it.
TEST_F(PrepareState, MakesAMissingFolderOrSaysWhyItCannot) {
    const fs::path nested = state() / "stations" / "first";
    const auto made = prepareIn(nested);
    ASSERT_EQ(made.exitCode, 0) << made.output;
    EXPECT_TRUE(fs::exists(nested / "appTolvik.ini"));

    const fs::path locked = work.path() / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    const fs::path unreachable = locked / "state";
    const auto refused = prepareIn(unreachable);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.output, "prepare-state: cannot create the state folder " +
                                  unreachable.string() + "; the station does not start.\n");
}

TEST_F(PrepareState, RefusesAFolderTheStationCouldNotWorkIn) {
    struct Case {
        const char* name;
        std::function<void(PrepareState&)> damage;
        std::string report;
    };
    const Case cases[] = {
        {"folder read-only",
         [](PrepareState& t) {
             fs::permissions(t.state(), fs::perms::owner_read | fs::perms::owner_exec |
                                            fs::perms::others_read | fs::perms::others_exec);
         },
         "the state folder " + state().string() + " is not writable for user"},
        {"settings unreadable",
         [](PrepareState& t) {
             writeFile(t.state() / "appTolvik.ini", "[Tolvik]\n");
             ::chown((t.state() / "appTolvik.ini").c_str(), 0, 0);
             fs::permissions(t.state() / "appTolvik.ini", fs::perms::none);
         },
         state().string() + "/appTolvik.ini is not readable for user"},
        {"device memory unreadable",
         [](PrepareState& t) {
             writeFile(t.state() / "appTolvik.ini",
                       "[Tolvik]\nArchFile = " + t.state().string() + "/memory.arc\r\n");
             t.own(t.state() / "appTolvik.ini");
             writeFile(t.state() / "memory.arc", "x");
             ::chown((t.state() / "memory.arc").c_str(), 0, 0);
             fs::permissions(t.state() / "memory.arc", fs::perms::none);
         },
         state().string() + "/memory.arc is not readable for user"},
        {"shipped file gone",
         [](PrepareState& t) {
             ASSERT_EQ(t.prepare().exitCode, 0);
             fs::remove(t.data() / "resource.xml");
         },
         state().string() + "/resource.xml links to " + data().string() +
             "/resource.xml, which does not exist"},
        {"no template", [](PrepareState& t) { fs::remove(t.data() / "appTolvik.ini.in"); },
         data().string() + "/appTolvik.ini.in is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::permissions(state(),
                        fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
        fs::remove_all(state());
        fs::create_directory(state());
        own(state());
        makeData();
        c.damage(*this);
        const auto result = prepare();
        EXPECT_EQ(result.exitCode, 1) << result.output;
        EXPECT_EQ(result.output.rfind("prepare-state: " + c.report, 0), 0u) << result.output;
        EXPECT_NE(result.output.find("; the station does not start.\n"), std::string::npos);
        EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1);
    }
}

}  // namespace
