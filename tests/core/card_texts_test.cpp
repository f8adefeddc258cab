#include <gtest/gtest.h>

#include "core/card/CardTexts.h"

using namespace ykt;

TEST(CardNumberText, PadsToNineOrTenDigits) {
    EXPECT_EQ(CardNumberText(false, 0, 12), "000000012");
    EXPECT_EQ(CardNumberText(true, 12, 0), "0000000012");
    EXPECT_EQ(CardNumberText(false, 0, 0), "000000000");
}

TEST(CardNumberText, KeepsTheLastDigitsOfLongerNumbers) {
    EXPECT_EQ(CardNumberText(false, 0, 1234567890u), "234567890");
    EXPECT_EQ(CardNumberText(false, 0, 0xFFFFFFFFu), "294967295");
}

TEST(CardNumberText, ShowsValuesAsUnsigned) {
    EXPECT_EQ(CardNumberText(true, 0xFFFFFFFFu, 0), "4294967295");
    EXPECT_EQ(CardNumberText(true, 0x80000000u, 0), "2147483648");
}

struct BalanceCase {
    std::int32_t balance;
    std::int32_t fourth;
    const char* expected;
};

class Balance : public testing::TestWithParam<BalanceCase> {};

TEST_P(Balance, Formats) {
    EXPECT_EQ(BalanceText(GetParam().balance, GetParam().fourth), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Balance,
    testing::Values(BalanceCase{345, 7, "3.45,7"}, BalanceCase{5, 0, "0.05,0"}, BalanceCase{45, 1, "0.45,1"},
                    BalanceCase{100, 2, "1.00,2"}, BalanceCase{123456, 3, "1234.56,3"}, BalanceCase{0, 0, "0.00,0"},
                    BalanceCase{10, 0, "0.10,0"},
                    // Negative balances carry the sign in front of the units.
                    BalanceCase{-5, 0, "-0.05,0"}, BalanceCase{-45, 0, "-0.45,0"}, BalanceCase{-345, -7, "-3.45,-7"},
                    BalanceCase{-100, 0, "-1.00,0"},
                    // The extremes of both values.
                    BalanceCase{INT32_MAX, INT32_MAX, "21474836.47,2147483647"},
                    BalanceCase{INT32_MIN, INT32_MIN, "-21474836.48,-2147483648"}));
