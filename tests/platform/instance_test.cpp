#include "platform/instance.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "tests/common/tempfolder.h"

using platform::SingleInstanceLock;
using testing_support::TempFolder;

TEST(SingleInstanceLock, OnlyALockHeldByAnotherInstanceIsASecondInstance) {
    TempFolder dir;
    dir.write("file", "");
    struct Case {
        const char* what;
        std::vector<std::string> folders;
        SingleInstanceLock::Outcome outcome;
        std::string usedFolder;
    };
    const Case cases[] = {
        {"a usable folder", {dir.folder()}, SingleInstanceLock::Outcome::acquired, dir.folder()},
        {"a folder that is gone, then a usable one",
         {dir.file("gone"), dir.folder()},
         SingleInstanceLock::Outcome::acquired,
         dir.folder()},
        {"a file where the folder should be",
         {dir.file("file")},
         SingleInstanceLock::Outcome::unusable,
         dir.file("file")},
        {"no usable folder at all",
         {dir.file("gone"), dir.file("file")},
         SingleInstanceLock::Outcome::unusable,
         dir.file("file")},
    };
    for (const Case& c : cases) {
        SingleInstanceLock lock(c.folders);
        EXPECT_EQ(lock.acquire(10), c.outcome) << c.what;
        EXPECT_EQ(lock.path(), c.usedFolder + "/orvanheim.lock") << c.what;
        if (c.outcome == SingleInstanceLock::Outcome::unusable) {
            EXPECT_EQ(lock.problem().rfind("cannot open " + lock.path() + ": ", 0), 0u)
                << lock.problem();
        }
    }
    SingleInstanceLock first(dir.folder());
    ASSERT_EQ(first.acquire(10), SingleInstanceLock::Outcome::acquired);
    SingleInstanceLock second(std::vector<std::string>{dir.file("gone"), dir.folder()});
    EXPECT_EQ(second.acquire(10), SingleInstanceLock::Outcome::heldElsewhere);
}

TEST(SingleInstanceLock, ALockFileThatIsALinkIsNotFollowed) {
    TempFolder dir;
    std::filesystem::create_symlink(dir.file("elsewhere"), dir.path() / "orvanheim.lock");
    SingleInstanceLock lock(dir.folder());
    EXPECT_EQ(lock.acquire(10), SingleInstanceLock::Outcome::unusable);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "elsewhere"));
}

TEST(SingleInstanceLock, TheRuntimeFolderComesFirstThenTheTemporaryFolder) {
    const auto saved = [](const char* name) {
        const char* value = ::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto runtime = saved("XDG_RUNTIME_DIR");
    const auto temporary = saved("TMPDIR");
    ::setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    ::setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(SingleInstanceLock::defaultFolders(),
              (std::vector<std::string>{"/run/user/1000", "/var/tmp", "/tmp"}));
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("TMPDIR", "/tmp", 1);
    EXPECT_EQ(SingleInstanceLock::defaultFolders(), std::vector<std::string>{"/tmp"});
    for (const auto& [name, value] :
         {std::pair{"XDG_RUNTIME_DIR", runtime}, {"TMPDIR", temporary}}) {
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
}
