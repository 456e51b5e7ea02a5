#include "platform/btaddress.h"

#include <gtest/gtest.h>

#include "platform/btaddress_bluez.h"

namespace btaddress = platform::btaddress;

TEST(BtAddress, TextRunsMostSignificantFirstBytesLeastSignificantFirst) {
    const std::uint64_t address = 0x001A7DDA7113;
    EXPECT_EQ(btaddress::withColons(address), "00:1A:7D:DA:71:13");
    EXPECT_EQ(btaddress::plain(address), "001A7DDA7113");
    EXPECT_EQ(btaddress::toBytes(address), (btaddress::Bytes{0x13, 0x71, 0xDA, 0x7D, 0x1A, 0x00}));
    EXPECT_EQ(btaddress::fromBytes(btaddress::toBytes(address)), address);
    const bdaddr_t bluez = btaddress::toBluez(address);
    EXPECT_EQ(bluez.b[0], 0x13);
    EXPECT_EQ(bluez.b[5], 0x00);
    EXPECT_EQ(btaddress::fromBluez(bluez), address);
    EXPECT_EQ(btaddress::withColons(0xFFFF00112233AABB), "00:11:22:33:AA:BB")
        << "only the low 48 bits are an address";
}

TEST(BtAddress, OnlyTheColonFormParses) {
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"00:1A:7D:DA:71:13", 0x001A7DDA7113},
        {"aa:bb:cc:dd:ee:ff", 0xAABBCCDDEEFF},
        {"00:1A:7D:DA:71:1", std::nullopt},
        {"00:1A:7D:DA:71:133", std::nullopt},
        {"00-1A-7D-DA-71-13", std::nullopt},
        {"00:1A:7D:DA:71:1G", std::nullopt},
        {" 0:1A:7D:DA:71:13", std::nullopt},
        {"001A7DDA7113", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(btaddress::parse(text), expected) << text;
    }
}
