#include <gtest/gtest.h>

#include <random>

#include "core/settings/DbPassword.h"

using namespace ykt;

TEST(DbPassword, EncodesEveryByteAsFourDigits) {
    EXPECT_EQ(EncodeDbPassword("abc"), "340334043407");
    EXPECT_EQ(EncodeDbPassword(""), "");
    EXPECT_EQ(EncodeDbPassword(std::string("\0\xff", 2)), "00007777");
    EXPECT_EQ(EncodeDbPassword("\xD6\xD0\xCE\xC4"), "7334730070747030");  // code page 936 text
}

TEST(DbPassword, DecodesByTheDigitRule) {
    EXPECT_EQ(DecodeDbPassword("340334043407"), "abc");
    EXPECT_EQ(DecodeDbPassword("7334730070747030"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(DecodeDbPassword("1111"), std::string(1, '\0'));
    EXPECT_EQ(DecodeDbPassword("9999"), "\x54");  // 8 and 9 carry into the next position
    EXPECT_EQ(DecodeDbPassword(""), "");
}

TEST(DbPassword, LengthNotAMultipleOfFourDecodesToEmpty) {
    EXPECT_EQ(DecodeDbPassword("12345"), "");
    EXPECT_EQ(DecodeDbPassword("x"), "");  // the length rule comes first
}

TEST(DbPassword, NonDigitFailsTheWholeText) {
    EXPECT_EQ(DecodeDbPassword("3403340434a7"), std::nullopt);
    EXPECT_EQ(DecodeDbPassword("    "), std::nullopt);
    EXPECT_EQ(DecodeDbPassword(std::string("000\0", 4)), std::nullopt);
}

TEST(DbPassword, RoundTripsEveryByteValue) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(DecodeDbPassword(EncodeDbPassword(all)), all);
    // Code page 936 text: 中文 as two double-byte characters.
    EXPECT_EQ(DecodeDbPassword(EncodeDbPassword("\xD6\xD0\xCE\xC4")), "\xD6\xD0\xCE\xC4");
}

TEST(DbPassword, RoundTripsRandomByteStrings) {
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 64);
    for (int i = 0; i < 2000; ++i) {
        std::string text(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : text) c = static_cast<char>(byte(random));
        ASSERT_EQ(DecodeDbPassword(EncodeDbPassword(text)), text);
    }
}
