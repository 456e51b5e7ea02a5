#include "platform/service.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "tests/common/notifysocket.h"

using namespace std::chrono_literals;
using testing_support::NotifySocket;

namespace {

// Sets an environment variable for one test and restores the old state afterwards.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const std::string& value) : name(name) {
        if (const char* old = std::getenv(name)) {
            previous = old;
            hadPrevious = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (hadPrevious) {
            ::setenv(name, previous.c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    const char* name;
    std::string previous;
    bool hadPrevious = false;
};

std::string streamOf(int fd) {
    struct stat st {};
    ::fstat(fd, &st);
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

}  // namespace

TEST(ServiceNotices, ReachTheManagersSocket) {
    NotifySocket manager;
    ASSERT_TRUE(manager.isBound());
    ScopedEnvironment socket("NOTIFY_SOCKET", manager.address());

    EXPECT_TRUE(platform::service::notify("READY=1"));
    EXPECT_EQ(manager.receive(5s), "READY=1");
    EXPECT_TRUE(platform::service::notify("WATCHDOG=1\nSTATUS=fine"));
    EXPECT_EQ(manager.receive(5s), "WATCHDOG=1\nSTATUS=fine");
}

TEST(ServiceNotices, GoNowhereWithoutAManager) {
    ::unsetenv("NOTIFY_SOCKET");
    EXPECT_FALSE(platform::service::notify("READY=1"));
    ScopedEnvironment gone("NOTIFY_SOCKET", "@nyvex-notify-test-nobody-listens");
    EXPECT_FALSE(platform::service::notify("READY=1"));
}

TEST(ServiceNotices, WatchdogIntervalComesFromTheManager) {
    ::unsetenv("WATCHDOG_USEC");
    ::unsetenv("WATCHDOG_PID");
    EXPECT_FALSE(platform::service::watchdogInterval().has_value());
    {
        ScopedEnvironment usec("WATCHDOG_USEC", "60000000");
        EXPECT_EQ(platform::service::watchdogInterval(), std::chrono::microseconds(60000000));
        // The interval is meant for the process the manager started, not for its children.
        ScopedEnvironment pid("WATCHDOG_PID", std::to_string(::getpid() + 1));
        EXPECT_FALSE(platform::service::watchdogInterval().has_value());
    }
}

TEST(ServiceNotices, StderrIsTheJournalOnlyWhenJournalStreamNamesIt) {
    ::unsetenv("JOURNAL_STREAM");
    EXPECT_FALSE(platform::service::stderrIsJournal());
    const struct {
        std::string stream;
        bool journal;
    } cases[] = {
        {streamOf(2), true}, {streamOf(0) == streamOf(2) ? "1:1" : streamOf(0), false},
        {"", false},         {"12", false},
        {"12:x", false},     {streamOf(2) + "x", false},
    };
    for (const auto& c : cases) {
        ScopedEnvironment stream("JOURNAL_STREAM", c.stream);
        EXPECT_EQ(platform::service::stderrIsJournal(), c.journal) << c.stream;
    }
}
