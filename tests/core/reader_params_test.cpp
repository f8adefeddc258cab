#include <gtest/gtest.h>

#include "core/card/ReaderParams.h"

using namespace ykt;

TEST(HexKeyToBytes, ConvertsPairsHighHalfFirst) {
    const KeyBlock key = HexKeyToBytes("5A3C96E1B74D2F08C5A17E39");
    const KeyBlock expected = {0x5A, 0x3C, 0x96, 0xE1, 0xB7, 0x4D, 0x2F, 0x08, 0xC5, 0xA1, 0x7E, 0x39, 0x00};
    EXPECT_EQ(key, expected);
}

TEST(HexKeyToBytes, FirstPairIsFirstByteAndLastPairIsTwelfth) {
    const KeyBlock key = HexKeyToBytes("1F0000000000000000000000" "" );
    EXPECT_EQ(key[0], 0x1F);
    EXPECT_EQ(HexKeyToBytes("0000000000000000000000F1")[11], 0xF1);
}

TEST(HexKeyToBytes, ZeroDigitsGiveTwelveZeroBytesAndTheTerminator) {
    EXPECT_EQ(HexKeyToBytes("000000000000000000000000"), KeyBlock{});
}

TEST(HexKeyToBytes, NonHexCharactersFollowTheCodeRule) {
    // 'a' is at or above 'A': 97 - 65 + 10 = 42, so "aa" is 42 * 16 + 42 = 714, modulo 256 = 202.
    EXPECT_EQ(HexKeyToBytes("aa0000000000000000000000")[0], 202);
    // ' ' is below 'A': 32 - 48 = -16; "  " is -16 * 16 - 16 = -272, modulo 256 = 240.
    EXPECT_EQ(HexKeyToBytes("  0000000000000000000000")[0], 240);
    // 'G' counts as 16: "G0" is 256, modulo 256 = 0.
    EXPECT_EQ(HexKeyToBytes("G00000000000000000000000")[0], 0);
    // Bytes above 127 count as unsigned codes: 0xFF is 255 - 65 + 10 = 200.
    EXPECT_EQ(HexKeyToBytes("\xff" "00000000000000000000000")[0], (200 * 16) % 256);
}

TEST(HexKeyToBytes, RefusesAnyOtherLength) {
    EXPECT_THROW(HexKeyToBytes("00000000000000000000000"), std::invalid_argument);
    EXPECT_THROW(HexKeyToBytes("0000000000000000000000000"), std::invalid_argument);
}
