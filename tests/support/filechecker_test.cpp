#include "support/filechecker.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/common/tempfolder.h"

TEST(FileChecker, NameLengthAndForbiddenCharacters) {
    const std::pair<std::string, bool> cases[] = {
        {"ab", false},
        {"abc", true},
        {std::string(17, 'n'), true},
        {std::string(18, 'n'), false},
        {"with space", false},
        {"hash#tag", false},
        {"plain_name-1.jpg", true},
        {"\xC3\xA4\xC3\xB6\xC3\xBC", true},  // umlauts are allowed
        {"price\xE2\x82\xAC", false},        // euro sign
        {"deg\xC2\xB0", false},              // degree sign
        {"sq\xC2\xB2x", false},              // superscript two
    };
    for (const auto& [name, valid] : cases) {
        EXPECT_EQ(CFileChecker::isValidFileName(name), valid) << name;
    }
    EXPECT_EQ(CFileChecker::forbiddenCharacters().size(), 27u);
    for (char16_t c : CFileChecker::forbiddenCharacters()) {
        EXPECT_FALSE(CFileChecker::isValidFileName(platform::toUtf8(std::u16string(u"ab") + c)));
    }
}

TEST(FileChecker, SizeAndFolders) {
    testing_support::TempFolder dir;
    dir.write("pic.gif", std::string(2883, 'g'));
    EXPECT_TRUE(CFileChecker::hasSize(dir.file("pic.gif"), 2883));
    EXPECT_FALSE(CFileChecker::hasSize(dir.file("pic.gif"), 2882));
    EXPECT_FALSE(CFileChecker::hasSize(dir.file("missing.gif"), 0));
    EXPECT_EQ(CFileChecker::folderOf("/a/b/c.arc"), "/a/b/");
    EXPECT_EQ(CFileChecker::folderOf("c.arc"), "");
    EXPECT_TRUE(CFileChecker::folderExists(dir.file("not-yet.arc")));
    EXPECT_FALSE(CFileChecker::folderExists(dir.file("nofolder/x.arc")));
    EXPECT_FALSE(CFileChecker::folderExists("x.arc"));
}
