#include "support/logentry.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"

using testing_support::errorLogText;
using testing_support::StationFolder;

TEST(LogEntry, EntryIsDroppedWhenTheLockIsNotHadInTime) {
    StationFolder station;
    std::unique_lock<platform::TimedMutex> held(support::logLock());
    bool written = true;
    std::thread other([&] { written = support::logError("dropped", "T*"); });
    other.join();
    held.unlock();
    EXPECT_FALSE(written);
    EXPECT_TRUE(support::logError("kept", "T*"));
    const std::string log = errorLogText();
    EXPECT_EQ(log.find("dropped"), std::string::npos);
    EXPECT_NE(log.find("Fehler : kept"), std::string::npos);
}
