// The world file as the libraries and the phone simulator read it.

#include "libs/simworld/simworld.h"

#include <gtest/gtest.h>

#include "tests/common/commadecimals.h"
#include "tests/common/tempfolder.h"

using namespace std::chrono_literals;

// The Qt window runs with the desktop's locale: a world file must read the same there.
TEST(WorldFile, NumbersReadTheSameWithADecimalComma) {
    testing_support::TempFolder folder;
    folder.write("world.ini",
                 "[radio]\naddress=00:1A:7D:DA:71:13\ntimescale=0.05\n[phone1]\n"
                 "address=00:11:22:AA:BB:CC\nrtt=0.5\nrate=1400.5\nacceptdelay=0.25\n");
    testing_support::CommaDecimals comma;
    ASSERT_TRUE(comma.active()) << "the test locale with a decimal comma was not built";
    const simworld::World world = simworld::load(folder.file("world.ini"));
    ASSERT_TRUE(world.radio.has_value());
    EXPECT_EQ(world.radio->address, 0x001A7DDA7113u);
    EXPECT_EQ(world.radio->timescale, 0.05);
    ASSERT_EQ(world.phones.size(), 1u);
    EXPECT_EQ(world.phones[0].address, 0x001122AABBCCu);
    EXPECT_EQ(world.phones[0].link.roundTrip, 500us);
    EXPECT_EQ(world.phones[0].link.kilobitsPerSecond, 1400.5);
    EXPECT_EQ(world.phones[0].link.acceptDelay, 250ms);
    EXPECT_EQ(world.problems, std::vector<std::string>{});
}

TEST(WorldFile, ABadTimescaleIsReportedAndCountsAsOne) {
    testing_support::TempFolder folder;
    for (const char* scale : {"fast", "-1", "0,05", "nan"}) {
        folder.write("world.ini",
                     std::string("[radio]\naddress=00:1A:7D:DA:71:13\ntimescale=") + scale + "\n");
        const simworld::World world = simworld::load(folder.file("world.ini"));
        ASSERT_TRUE(world.radio.has_value()) << scale;
        EXPECT_EQ(world.radio->timescale, 1.0) << scale;
        EXPECT_EQ(world.problems, std::vector<std::string>{"[radio]: bad timescale '" +
                                                           std::string(scale) + "', using 1"});
    }
}
