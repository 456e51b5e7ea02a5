#include "app/station/nyvexapp.h"

#include <gtest/gtest.h>

#include "config/configexceptions.h"
#include "support/logentry.h"
#include "support/texts.h"
#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"

using testing_support::errorLogText;
using testing_support::StationFolder;

// The application object keeps its interface; behind it are the services every part shares.
TEST(NyvexApp, ServicesAreTheOnesEveryPartShares) {
    StationFolder station;
    station.write("resource.xml", "<reso><resstr cod=\"ok__\">OK</resstr></reso>");
    theApp().texts().load();
    EXPECT_EQ(&theApp().texts(), &support::texts());
    EXPECT_EQ(support::text("ok__"), "OK");
    EXPECT_EQ(theApp().text("ok__"), "OK");
    EXPECT_EQ(&theApp().logLockForTest(), &support::logLock());
    EXPECT_TRUE(theApp().logError("through the application", "T*"));
    EXPECT_NE(errorLogText().find("Fehler : through the application"), std::string::npos);
    EXPECT_EQ(theApp().config(), config::current());
    EXPECT_EQ(theApp().configCopy().folder(), station.path().string());
}

TEST(NyvexApp, ConfigCopyBeforeStartUpIsAClearError) {
    theApp().setConfig(nullptr);
    EXPECT_EQ(config::current(), nullptr);
    EXPECT_THROW(theApp().configCopy(), CIniSeriException);
}
