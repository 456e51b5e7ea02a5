#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "config/configstore.h"
#include "memory/nameblocker.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tests/common/tempfolder.h"

using testing_support::TempFolder;

namespace {

// Runs each test in a fresh station folder with its own configuration.
class CNameBlockerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous = platform::currentDirectory().value_or("/");
        ASSERT_EQ(::chdir(folder.folder().c_str()), 0);
    }
    void TearDown() override {
        config::setConfig(nullptr);
        ASSERT_EQ(::chdir(previous.c_str()), 0);
    }

    void station(const std::string& settings, const std::string& lists) {
        folder.write("appTolvik.ini", "[Tolvik]\nversion=1.061\n" + settings);
        folder.write("tolvik.ini", lists);
        config::setConfig(std::make_unique<CInit>());
    }

    std::string errorLog() const {
        return platform::readFile(folder.path("memory_nameblocker_test_err.txt")).value_or("");
    }

    TempFolder folder;
    std::string previous;
};

}  // namespace

TEST_F(CNameBlockerTest, WithoutNumblocksNothingIsBlocked) {
    for (const char* settings : {"", "numblocks=0\n", "numblocks=-3\n"}) {
        station(settings, "[nameblocks0]\nnblock1=Acme\n");
        CNameBlocker blocker;
        EXPECT_FALSE(blocker.isBlocked("Acme")) << settings;
        EXPECT_FALSE(blocker.isBlocked("")) << settings;
    }
}

TEST_F(CNameBlockerTest, MatchesTrimmedNamesExactlyAndCaseSensitively) {
    station("numblocks=2\n", "[nameblocks0]\nnblock1=Acme Phones\nnblock2=  Spaced  \n");
    CNameBlocker blocker;
    EXPECT_EQ(blocker.count(), 2);
    EXPECT_TRUE(blocker.isBlocked("Acme Phones"));
    EXPECT_TRUE(blocker.isBlocked("  Acme Phones \t"));
    EXPECT_FALSE(blocker.isBlocked("acme phones"));
    EXPECT_FALSE(blocker.isBlocked("Acme"));
}

TEST_F(CNameBlockerTest, AGapLeavesEmptyNamesThatBlockNamelessMakers) {
    // Keys are read in the list's order (nblock1, nblock2, nblock3) up to the first missing one.
    station("numblocks=3\n", "[nameblocks0]\nnblock1=Acme\nnblock3=Zeta\n");
    CNameBlocker blocker;
    EXPECT_TRUE(blocker.isBlocked("Acme"));
    EXPECT_FALSE(blocker.isBlocked("Zeta"));
    EXPECT_TRUE(blocker.isBlocked(" "));
}

TEST_F(CNameBlockerTest, AnAbsurdCountIsLoggedAndIgnored) {
    station("numblocks=2000000000\n", "[nameblocks0]\nnblock1=Acme\n");
    CNameBlocker blocker;
    EXPECT_EQ(blocker.count(), 0);
    EXPECT_FALSE(blocker.isBlocked("Acme"));
    EXPECT_NE(errorLog().find(platform::toUtf16leBytes("numblocks 2000000000 too large")),
              std::string::npos);
}
