#include "config/configstore.h"

#include <gtest/gtest.h>

#include "config/iniserializer.h"
#include "platform/profile.h"
#include "tests/common/logreader.h"
#include "tests/common/ordinaryuser.h"
#include "tests/common/tempfolder.h"

using testing_support::errorLogText;
using testing_support::OrdinaryUserFiles;
using testing_support::StationFolder;

namespace {
std::string constructionError(const std::string& settings) {
    StationFolder station(false, settings);
    try {
        CInit init;
        return "constructed";
    } catch (const CIniSeriException& e) {
        return e.text();
    }
}
}  // namespace

TEST(Init, VersionMustMatchExactly) {
    const std::pair<std::string, std::string> cases[] = {
        {"[Tolvik]\nversion=1.061\n", "constructed"},
        {"[Tolvik]\npath=/x/\n", "version not found"},
        {"[Tolvik]\nversion=1.0610\n", "version mismatch"},
        {"[Tolvik]\nversion=1.06\n", "version mismatch"},
        {"[Tolvik]\nversion=default\n", "version mismatch"},
        {"[Other]\nversion=1.061\n", "version not found"},
        {"", "version not found"},
    };
    for (const auto& [settings, outcome] : cases) {
        EXPECT_EQ(constructionError(settings), outcome) << settings;
    }
}

// Settings that cannot be read are not missing settings: the file keeps every key.
TEST(Init, SettingsThatCannotBeReadStopConstructionAndStayAsTheyAre) {
    const std::string settings = "[Tolvik]\nversion=1.061\nduration=3\nnogoaddress1=X\n";
    StationFolder station(false, settings);
    OrdinaryUserFiles::openFolder(station.path());
    OrdinaryUserFiles::makeUnreadable(station.file("appTolvik.ini"));
    std::string error;
    {
        OrdinaryUserFiles user;
        try {
            CInit init;
        } catch (const CIniSeriException& e) {
            error = e.text();
        }
    }
    EXPECT_EQ(error, "appTolvik.ini cannot be read: Permission denied");
    EXPECT_EQ(station.read("appTolvik.ini"), settings);
}

TEST(Init, PathIsWrittenAtFirstConstructionEvenWhenTheVersionFails) {
    StationFolder station(false, "[Tolvik]\n");
    EXPECT_THROW(CInit(), CIniSeriException);
    EXPECT_EQ(platform::profile::read("appTolvik.ini", "Tolvik", "path", ""),
              station.path().string() + "/");
}

TEST(Init, ExistingPathIsKeptAndCopiesKeepTheirFolder) {
    StationFolder station(false, "[Tolvik]\nversion=1.061\npath=/data/\n");
    const CInit init;
    const CInit copy = init;
    EXPECT_EQ(copy.getString("path", false), "/data/");
    EXPECT_EQ(copy.settingsPath(), station.path().string() + "/appTolvik.ini");
    EXPECT_EQ(copy.dataIniPath(), station.path().string() + "/tolvik.ini");
}

TEST(Init, MissingKeysReadAsDefaultAndWarnOnlyWhenAsked) {
    StationFolder station(true, "[Tolvik]\nversion=1.061\nmanufac=default\nduration=12days\n");
    const CInit init = config::configCopy();
    EXPECT_EQ(init.getInt("testmode", false), 0);
    EXPECT_EQ(init.getInt("duration", true), 12);
    EXPECT_EQ(init.getString("manufac", false), "default") << "the literal counts as missing";
    EXPECT_EQ(errorLogText(), "") << "no warning was asked for";
    EXPECT_EQ(init.getInt("politemode", true), 0);
    EXPECT_EQ(init.getString("archfile", true), "default");
    const std::string log = errorLogText();
    EXPECT_NE(log.find("Fehler : politemode not found in ini file.\r\n"), std::string::npos);
    EXPECT_NE(log.find("Fehler : archfile in ini nicht gefunden\r\n"), std::string::npos);
    EXPECT_NE(log.find("Fehlerquelle : CInit const*"), std::string::npos) << log;
}

TEST(Init, SetAndDeleteKeysAreSeenByOtherCopies) {
    StationFolder station;
    const CInit a = config::configCopy();
    const CInit b = config::configCopy();
    EXPECT_TRUE(a.setString("nogoaddress1", "00:11:22:AA:BB:CC"));
    EXPECT_EQ(b.getString("nogoaddress1", false), "00:11:22:AA:BB:CC");
    EXPECT_TRUE(b.deleteKey("nogoaddress1"));
    EXPECT_EQ(a.getString("nogoaddress1", false), "default");
}

TEST(Init, ReplaceKeysRewritesAListOfSettingsAtOnce) {
    StationFolder station(true, "[Tolvik]\nversion=1.061\nnogoaddress1=A\nnogoaddress2=B\n");
    const CInit init = config::configCopy();
    EXPECT_TRUE(init.replaceKeys({"nogoaddress1", "nogoaddress2"}, {{"nogoaddress1", "B"}}));
    EXPECT_EQ(init.getString("nogoaddress1", false), "B");
    EXPECT_EQ(init.getString("nogoaddress2", false), "default");
    EXPECT_EQ(init.getString("version", false), "1.061");
}

TEST(Init, CompletenessNeedsPathArchiveFolderAndDuration) {
    StationFolder station;
    const std::string dir = station.path().string();
    struct Case {
        std::string settings;
        bool complete;
    };
    const Case cases[] = {
        {"path=" + dir + "/\narchfile=mem.arc\nduration=3\n", true},
        {"path=" + dir + "/\narchfile=" + dir + "/sub/mem.arc\nduration=3\n", false},
        {"path=" + dir + "/\narchfile=" + dir + "/mem.arc\nduration=3\n", true},
        {"path=" + dir + "/\narchfile=mem.arc\n", false},
        {"path=DEFAULT\narchfile=" + dir + "/mem.arc\nduration=3\n", false},
        {"path=" + dir + "/\narchfile=Default\nduration=3\n", false},
        {"path=" + dir + "/\narchfile=mem.arc\nduration=default\n", false},
    };
    for (const auto& c : cases) {
        station.write("appTolvik.ini", "[Tolvik]\nversion=1.061\n" + c.settings);
        EXPECT_EQ(config::configCopy().isComplete(), c.complete) << c.settings;
    }
    station.write("appTolvik.ini", "[Tolvik]\nversion=1.061\npath=DEFAULT\n");
    EXPECT_EQ(config::configCopy().getString("path", true), "DEFAULT");
    EXPECT_EQ(errorLogText(), "");
}

TEST(Init, ArchiveFolderThatAppearsLaterCompletesTheConfiguration) {
    StationFolder station;
    const std::string dir = station.path().string();
    station.write("appTolvik.ini", "[Tolvik]\nversion=1.061\npath=" + dir +
                                       "/\nduration=1\narchfile=" + dir + "/later/mem.arc\n");
    EXPECT_FALSE(config::configCopy().isComplete());
    std::filesystem::create_directory(station.path() / "later");
    EXPECT_TRUE(config::configCopy().isComplete());
}

TEST(Init, CopyWithoutAConfigurationIsAClearError) {
    config::setConfig(nullptr);
    try {
        config::configCopy();
        FAIL();
    } catch (const CIniSeriException& e) {
        EXPECT_EQ(e.text(), "configuration not loaded");
    }
}
