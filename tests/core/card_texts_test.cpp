#include <gtest/gtest.h>

#include "core/card/CardTexts.h"

using namespace ykt;

TEST(CardNumberText, NineDigitsOfTheCodeOrTenOfTheSerial) {
    const struct {
        bool serialMode;
        std::uint32_t serial, code;
        const char* expected;
        const char* why;
    } cases[] = {
        {false, 0, 12, "000000012", "padded to nine"},
        {true, 12, 0, "0000000012", "padded to ten"},
        {false, 0, 0, "000000000", "zero"},
        {false, 0, 1234567890u, "234567890", "the last nine digits of a longer code"},
        {false, 0, 0xFFFFFFFFu, "294967295", "the last nine digits of the largest code"},
        {true, 0xFFFFFFFFu, 0, "4294967295", "unsigned"},
        {true, 0x80000000u, 0, "2147483648", "unsigned above the signed range"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CardNumberText(c.serialMode, c.serial, c.code), c.expected)
            << c.why << " (" << (c.serialMode ? "serial " : "code ") << (c.serialMode ? c.serial : c.code) << ")";
}

struct BalanceCase {
    std::int32_t balance;
    std::int32_t fourth;
    const char* expected;
};

class Balance : public testing::TestWithParam<BalanceCase> {};

TEST_P(Balance, Formats) {
    EXPECT_EQ(BalanceText(GetParam().balance, GetParam().fourth), GetParam().expected)
        << GetParam().balance << ", " << GetParam().fourth;
}

TEST(MoneyText, HundredthsAsUnitsAndTwoDigits) {
    const struct {
        std::int64_t hundredths;
        const char* expected;
    } cases[] = {{250, "2.50"}, {-5, "-0.05"}, {0, "0.00"}, {7, "0.07"}, {100, "1.00"},
                 {INT64_MAX, "92233720368547758.07"}, {INT64_MIN, "-92233720368547758.08"}};
    for (const auto& c : cases) EXPECT_EQ(MoneyText(c.hundredths), c.expected) << c.hundredths;
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
