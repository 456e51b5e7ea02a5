#include "support/texts.h"

#include <gtest/gtest.h>

#include "tests/common/logreader.h"
#include "tests/common/tempfolder.h"

using testing_support::errorLogText;
using testing_support::StationFolder;

TEST(Texts, MissingKeyIsLoggedUnderTheApplicationAndGivesTheEmptyText) {
    StationFolder station;
    station.write("resource.xml", "<reso><resstr cod=\"ok__\">OK</resstr></reso>");
    support::texts().load();
    EXPECT_EQ(support::text("ok__"), "OK");
    EXPECT_EQ(support::text("nosuchkey"), "");
    const std::string log = errorLogText();
    EXPECT_NE(log.find("Fehler : Key not found: nosuchkey\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Fehlerquelle : CNyvexApp*\r\n"), std::string::npos) << log;
}
