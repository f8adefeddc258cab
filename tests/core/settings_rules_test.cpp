#include <gtest/gtest.h>

#include "core/settings/SettingsRules.h"

using namespace ykt;

TEST(Trim, RemovesEveryCodeUpTo32AtBothEndsOnly) {
    EXPECT_EQ(Trim(" \t\r\n\x01 3 \x1f"), "3");
    EXPECT_EQ(Trim("a b"), "a b");
    EXPECT_EQ(Trim(std::string("\0x\0", 3)), "x");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
    // Code page 936 bytes are above 127 and must survive as they are.
    EXPECT_EQ(Trim(" \xD6\xD0 "), "\xD6\xD0");
    EXPECT_EQ(Trim("\x7f"), "\x7f");
}

struct NumberCase {
    const char* text;
    std::int32_t expected;
};

class LibNumber : public testing::TestWithParam<NumberCase> {};

TEST_P(LibNumber, ParsesBehindAZeroPrefixAndFallsBackToZero) {
    EXPECT_EQ(LibNumberFromText(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Cases, LibNumber,
                         testing::Values(NumberCase{"", 0}, NumberCase{"12", 12}, NumberCase{"0007", 7},
                                         NumberCase{"9600", 9600}, NumberCase{"-1", 0}, NumberCase{"+5", 0},
                                         NumberCase{"9600a", 0}, NumberCase{"a", 0}, NumberCase{"1 2", 0},
                                         NumberCase{"2147483647", 2147483647}, NumberCase{"2147483648", 0},
                                         NumberCase{"99999999999999999999", 0}, NumberCase{"$10", 0},
                                         NumberCase{"0x10", 0}));

TEST(ParseInt32, AcceptsOptionalSignAndDigitsWithinRange) {
    EXPECT_EQ(ParseInt32("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInt32("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseInt32("+0012"), 12);
    EXPECT_EQ(ParseInt32("-0"), 0);
    for (const char* bad : {"", "-", "+", "2147483648", "-2147483649", " 1", "1 ", "1e3", "--1", "0000000000000000000000x"})
        EXPECT_EQ(ParseInt32(bad), std::nullopt) << '"' << bad << '"';
    EXPECT_EQ(ParseInt32("0000000000000000000000000000042"), 42);
}

TEST(IsFlagOn, OnlyExactlyOne) {
    EXPECT_TRUE(IsFlagOn("1"));
    for (const char* off : {"", "0", "11", "Y", "true", "2", "01"}) EXPECT_FALSE(IsFlagOn(off)) << off;
}
