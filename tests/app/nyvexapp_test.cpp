#include "app/nyvexapp.h"

#include <gtest/gtest.h>

#include <thread>

#include "app/serializer.h"
#include "tests/app/logreader.h"
#include "tests/common/tempfolder.h"

using testing_support::StationFolder;

TEST(NyvexApp, MissingTextKeyIsLoggedAndGivesTheEmptyText) {
    StationFolder station;
    station.write("resource.xml", "<reso><resstr cod=\"ok__\">OK</resstr></reso>");
    theApp().texts().load();
    EXPECT_EQ(theApp().text("ok__"), "OK");
    EXPECT_EQ(theApp().text("nosuchkey"), "");
    EXPECT_NE(errorLogText().find("Fehler : Key not found: nosuchkey\r\n"), std::string::npos);
}

TEST(NyvexApp, LogEntryIsDroppedWhenTheLockIsNotHadInTime) {
    StationFolder station;
    std::unique_lock<std::timed_mutex> held(theApp().logLockForTest());
    bool written = true;
    std::thread other([&] { written = theApp().logError("dropped", "T*"); });
    other.join();
    held.unlock();
    EXPECT_FALSE(written);
    EXPECT_TRUE(theApp().logError("kept", "T*"));
    const std::string log = errorLogText();
    EXPECT_EQ(log.find("dropped"), std::string::npos);
    EXPECT_NE(log.find("Fehler : kept"), std::string::npos);
}

TEST(NyvexApp, ConfigCopyBeforeStartUpIsAClearError) {
    theApp().setConfig(nullptr);
    EXPECT_THROW(theApp().configCopy(), CIniSeriException);
}
