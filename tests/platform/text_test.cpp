#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/common/commadecimals.h"

TEST(Text, LeadingIntegerIsReadLikeTheCLibrary) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"12ab", 12},   {"  -5", -5}, {"+7x", 7},
        {"default", 0}, {"", 0},      {"- 3", 0},
        {"0x10", 0},    {"007", 7},   {"99999999999999999999999", INT64_MAX},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(platform::parseLeadingInt64(text), value) << text;
    }
    EXPECT_EQ(platform::parseLeadingInt32("99999999999"), INT32_MAX);
    EXPECT_EQ(platform::parseLeadingInt32("-99999999999"), INT32_MIN);
}

TEST(Text, DecimalsInFilesReadTheSameInEveryLocale) {
    testing_support::CommaDecimals comma;
    ASSERT_TRUE(comma.active()) << "the test locale with a decimal comma was not built";
    ASSERT_EQ(std::strtod("0.05", nullptr), 0.0) << "the C library now reads a decimal comma";
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"0.05", 0.05},        {"1", 1.0},
        {"+2.5", 2.5},         {"-0.5", -0.5},
        {"1e3", 1e3},          {"0,05", std::nullopt},
        {"", std::nullopt},    {"5s", std::nullopt},
        {" 1", std::nullopt},  {"inf", std::nullopt},
        {"nan", std::nullopt}, {"1e400", std::nullopt},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(platform::parseDecimal(text), value) << text;
    }
}

TEST(Text, Utf16RoundTripAndMalformedInputIsReplacedNotThrown) {
    const std::string text = "Caf\xC3\xA9 \xF0\x9F\x93\xB1";  // e-acute and a phone emoji
    EXPECT_EQ(platform::toUtf16(text).size(), 7u);
    EXPECT_EQ(platform::toUtf8(platform::toUtf16(text)), text);
    EXPECT_EQ(platform::toUtf16("\xFF\xC3"), std::u16string(u"\uFFFD\uFFFD"));
    EXPECT_EQ(platform::toUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Text, CutCountsUtf16UnitsAndNeverSplitsAPair) {
    EXPECT_EQ(platform::cutUtf16("abcdef", 3), "abc");
    EXPECT_EQ(platform::cutUtf16("ab\xF0\x9F\x93\xB1", 3), "ab");
    EXPECT_EQ(platform::cutUtf16("ab\xF0\x9F\x93\xB1", 4), "ab\xF0\x9F\x93\xB1");
}
