#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <thread>

#include "platform/filedescriptor.h"

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
