#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/filedescriptor.h"
#include "tests/common/tempfolder.h"

namespace {
struct SocketPair {
    SocketPair() {
        int ends[2] = {-1, -1};
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        near = platform::FileDescriptor(ends[0]);
        far = platform::FileDescriptor(ends[1]);
    }
    platform::FileDescriptor near;
    platform::FileDescriptor far;
};
}  // namespace

TEST(Files, EverythingIsWrittenAcrossPartialWrites) {
    SocketPair pair;
    const int small = 4096;
    ASSERT_EQ(::setsockopt(pair.near.get(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small), 0);
    const std::string bytes(300000, 'x');
    std::string received;
    std::thread reader([&] {
        char buffer[8192];
        ssize_t n;
        while ((n = ::read(pair.far.get(), buffer, sizeof buffer)) > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    EXPECT_TRUE(platform::sendAll(pair.near.get(), bytes.data(), bytes.size()));
    EXPECT_TRUE(platform::writeAll(pair.near.get(), bytes.data(), bytes.size()));
    pair.near.close();
    reader.join();
    EXPECT_EQ(received.size(), 2 * bytes.size());
}

// A peer that has gone is a failed send, not a SIGPIPE that ends the process.
TEST(Files, SendingToAPeerThatHasGoneFails) {
    SocketPair pair;
    pair.far.close();
    const std::string bytes(100, 'x');
    EXPECT_FALSE(platform::sendAll(pair.near.get(), bytes.data(), bytes.size()));
}

TEST(Files, AReplacementWrittenInPiecesTakesThePlaceOfTheOldFileOnlyWhenCommitted) {
    testing_support::TempFolder dir;
    const std::string file = dir.write("memory.arc", "old");
    {
        platform::AtomicFileWriter writer(file);
        ASSERT_TRUE(writer.isOpen()) << writer.error();
        EXPECT_TRUE(writer.write("ne", 2));
        EXPECT_EQ(dir.read("memory.arc"), "old") << "nothing shows before the commit";
        EXPECT_TRUE(writer.write("w", 1));
        EXPECT_TRUE(writer.commit()) << writer.error();
    }
    EXPECT_EQ(dir.read("memory.arc"), "new");
    {
        platform::AtomicFileWriter abandoned(file);
        EXPECT_TRUE(abandoned.write("half", 4));
    }
    EXPECT_EQ(dir.read("memory.arc"), "new") << "a replacement never committed changes nothing";
    EXPECT_TRUE(platform::leftoverTemporaries(file).empty());
}

TEST(Files, OnlyTheTemporaryFilesOfAFilesOwnReplacementsAreLeftovers) {
    testing_support::TempFolder dir;
    const std::string file = dir.write("memory.arc", "kept");
    struct Case {
        const char* name;
        bool leftover;
    };
    const Case cases[] = {
        {"memory.arc.tmp-a1B2c3", true},   {"memory.arc.tmp-ZZZZZZ", true},
        {"memory.arc.backup", false},      {"memory.arc.tmp-a1B2c", false},
        {"memory.arc.tmp-a1B2c3d", false}, {"memory.arc.tmp-a1B2c!", false},
        {"other.arc.tmp-a1B2c3", false},   {"xmemory.arc.tmp-a1B2c3", false},
    };
    for (const Case& c : cases) {
        dir.write(c.name, "left");
    }
    std::filesystem::create_directory(dir.path() / "memory.arc.tmp-folder");
    const auto removed = platform::removeLeftoverTemporaries(file);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::filesystem::exists(dir.path() / c.name), !c.leftover);
        EXPECT_EQ(std::count(removed.begin(), removed.end(), dir.file(c.name)), c.leftover ? 1 : 0);
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "memory.arc.tmp-folder"));
    EXPECT_EQ(dir.read("memory.arc"), "kept");
}

// A file kept under a second name stays as it was when its first name is replaced, and a name
// kept before is never taken over.
TEST(Files, ASecondNameKeepsTheFileAndNeverReplacesAnother) {
    testing_support::TempFolder folder;
    const std::string path = folder.file("memory.arc");
    ASSERT_TRUE(platform::replaceFileAtomically(path, "first"));
    EXPECT_EQ(platform::keepUnderSecondName(path, ".damaged"), path + ".damaged");
    ASSERT_TRUE(platform::replaceFileAtomically(path, "second"));
    EXPECT_EQ(platform::keepUnderSecondName(path, ".damaged"), path + ".damaged.2");
    EXPECT_EQ(platform::readFile(path + ".damaged"), "first");
    EXPECT_EQ(platform::readFile(path + ".damaged.2"), "second");

    std::string error;
    EXPECT_EQ(platform::keepUnderSecondName(folder.file("none.arc"), ".damaged", &error),
              std::nullopt);
    EXPECT_NE(error.find("none.arc"), std::string::npos) << error;
}
