#include "config/iniserializer.h"

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "tests/common/tempfolder.h"

using testing_support::StationFolder;

namespace {
class CRecord : public CList2IniSerializer {
  public:
    CRecord() {
        setListName("rec");
        declareKey("alpha");
        declareKey("beta");
        declareKey("gamma");
    }
};

std::string dataFile() {
    return config::configCopy().dataIniPath();
}
}  // namespace

TEST(Serializer, StoreLoadEraseRoundTrip) {
    StationFolder station;
    CRecord written;
    EXPECT_TRUE(written.isFresh());
    written.setValue4Key("alpha", "A");
    written.setInt("beta", -5);
    written.setInt64("gamma", 5000000000LL);
    EXPECT_FALSE(written.isFresh());
    written.store(2);
    EXPECT_EQ(platform::profile::read(dataFile(), "rec2", "beta", ""), "-5");

    CRecord read;
    ASSERT_TRUE(read.load(2));
    EXPECT_FALSE(read.isFresh());
    EXPECT_EQ(read.getValue4Key("alpha"), "A");
    EXPECT_EQ(read.getInt("beta"), -5);
    EXPECT_EQ(read.getInt64("gamma"), 5000000000LL);

    platform::profile::write(dataFile(), "rec2", "foreign", "stays");
    read.erase(2);
    EXPECT_FALSE(CRecord().load(2));
    EXPECT_EQ(platform::profile::read(dataFile(), "rec2", "foreign", ""), "stays");
}

TEST(Serializer, PartialLoadKeepsWhatWasReadBeforeTheMissingKey) {
    StationFolder station;
    // Keys are read in map order (alpha, beta, gamma); gamma is missing.
    station.write("tolvik.ini", "[rec3]\nalpha=new-a\nbeta=new-b\n");
    CRecord record;
    record.setValue4Key("alpha", "old-a");
    record.setValue4Key("gamma", "old-g");
    EXPECT_FALSE(record.load(3));
    EXPECT_EQ(record.getValue4Key("alpha"), "new-a");
    EXPECT_EQ(record.getValue4Key("beta"), "new-b");
    EXPECT_EQ(record.getValue4Key("gamma"), "old-g");
}

TEST(Serializer, MarkerValueReadsAsMissingInAnyCase) {
    StationFolder station;
    station.write("tolvik.ini", "[rec1]\nalpha=a\nbeta=DEFAULT66BB\ngamma=g\n");
    EXPECT_FALSE(CRecord().load(1));
    EXPECT_TRUE(CRecord().isFresh());
}

TEST(Serializer, UndeclaredKeysThrowAndAreNeverWritten) {
    StationFolder station;
    CRecord record;
    try {
        record.getValue4Key("delta");
        FAIL();
    } catch (const CNotAKeyException& e) {
        EXPECT_EQ(e.text(), "getValue4Key delta");
    }
    try {
        record.setValue4Key("delta", "x");
        FAIL();
    } catch (const CNotAKeyException& e) {
        EXPECT_EQ(e.text(), "setValue4Key delta");
    }
    record.store(1);
    EXPECT_EQ(platform::profile::keys(dataFile(), "rec1").size(), 3u);
}

TEST(Serializer, NumbersAreReadLikeTheCLibrary) {
    StationFolder station;
    CRecord record;
    const std::pair<const char*, int> cases[] = {{"12ab", 12}, {"  7", 7}, {"x1", 0}, {"", 0}};
    for (const auto& [text, value] : cases) {
        record.setValue4Key("alpha", text);
        EXPECT_EQ(record.getInt("alpha"), value) << text;
    }
}
