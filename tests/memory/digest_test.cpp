#include <gtest/gtest.h>

#include <string>

#include "memory/md5.h"
#include "memory/recordtexts.h"
#include "memory/saltedhash.h"

using backo::CBtAdWrapper;

namespace {

NyvexSighting recordWithAddress(std::uint64_t address) {
    NyvexSighting record{};
    record.device.size = sizeof(NyvexDeviceRecord);
    record.device.address = address;
    return record;
}

std::string eightTimes(const std::string& text) {
    std::string repeated;
    for (int i = 0; i < 8; ++i) {
        repeated += text;
    }
    return repeated;
}

}  // namespace

TEST(CRsaMd52, GivesTheTestSuiteDigestsOfRfc1321) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {eightTimes("1234567890"), "57edf4a22be3c955ac49da2e2107b67a"},
    };
    CRsaMd52 md5;  // one engine reused for every text
    for (const auto& [text, digest] : cases) {
        EXPECT_EQ(md5.hash(text), digest) << '"' << text << '"';
    }
}

TEST(CRsaMd52, HandlesEveryLengthAroundTheBlockEdges) {
    // 55, 56 and 64 bytes are where padding needs one or two extra blocks.
    const std::pair<std::size_t, std::string> cases[] = {
        {55, "ef1772b6dff9a122358552954ad0df65"},
        {56, "3b0c8ac703f828b04c6c197006d17218"},
        {64, "014842d480b571495a4a0363793f7367"},
    };
    CRsaMd52 md5;
    for (const auto& [length, digest] : cases) {
        EXPECT_EQ(md5.hash(std::string(length, 'a')), digest) << length;
    }
}

TEST(CBtAdWrapper, AddressFormsPrintTheMostSignificantByteFirst) {
    const NyvexSighting record = recordWithAddress(0x001A7DDA7113);
    EXPECT_EQ(CBtAdWrapper::addressWithColons(record), "00:1A:7D:DA:71:13");
    EXPECT_EQ(CBtAdWrapper::addressPlain(record), "001A7DDA7113");
    EXPECT_EQ(CBtAdWrapper::addressWithColons(
                  CBtAdWrapper::RawAddress{0x13, 0x71, 0xDA, 0x7D, 0x1A, 0x00}),
              "00:1A:7D:DA:71:13");
}

TEST(CBtAdWrapper, MemoryKeyIsTheSaltedDigestOfTheCompactAddress) {
    const NyvexSighting record = recordWithAddress(0x001122AABBCC);
    CBtAdWrapper wrapper;
    EXPECT_EQ(wrapper.memoryKey(record), "2109b48c8ab8e0faa8c78c661426dfa1");
    EXPECT_EQ(wrapper.memoryKey(record), CBtAdWrapper().memoryKey(record));
    EXPECT_EQ(backo::CBOHash().hashWithSalt("001A7DDA7113"), "8eaa06e28d4f49944b9d6bed155417e5");
}

TEST(CBtAdWrapper, NullAddressMeansNoRecordOrSixZeroBytes) {
    const NyvexSighting zero = recordWithAddress(0);
    const NyvexSighting lowest = recordWithAddress(1);
    const NyvexSighting highest = recordWithAddress(0x800000000000);
    EXPECT_TRUE(CBtAdWrapper::isNullAddress(nullptr));
    EXPECT_TRUE(CBtAdWrapper::isNullAddress(&zero));
    EXPECT_FALSE(CBtAdWrapper::isNullAddress(&lowest));
    EXPECT_FALSE(CBtAdWrapper::isNullAddress(&highest));
}
