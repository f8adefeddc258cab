// vbDecCard through the real export.
#include "ApiFixture.h"

namespace ykt::test {
namespace {

class Deduct : public ApiTest {
protected:
    // Calls vbDecCard with a host string holding cardNumber; returns the
    // result and the balance text, checking the input's reference count.
    int Call(const std::string& cardNumber, int amount, std::string& balance) {
        char* input = lib().NewString(cardNumber);
        char* output = nullptr;
        const int result = api().vbDecCard(input, amount, &output);
        if (input) {
            EXPECT_EQ(RefCount(input), 1) << "the input's reference was not given back";
        }
        if (output) {
            EXPECT_EQ(RefCount(output), 1) << "the output must be a fresh string";
        }
        balance = Text(output);
        lib().Release(output);
        lib().Release(input);
        return result;
    }
};
YKT_BOTH_MODES(Deduct);

TEST_P(Deduct, CodeModeDeductsFromTheHostsCardNumber) {
    std::string balance;
    EXPECT_EQ(Call("000000012", 250, balance), 0);
    EXPECT_EQ(balance, "3.45,7");
    EXPECT_EQ(Log(), Framed("Decrease(12,250)\nReadCardBeep\n"));
}

TEST_P(Deduct, SerialModeTakesTheCodeFromTheCardAndNeverReadsTheNumber) {
    SetSetting("YKT_CODEORNO", "1");
    dbl_set_card(1001, 77, 5, 8);
    char* balance = nullptr;
    EXPECT_EQ(api().vbDecCard(nullptr, 100, &balance), 0);
    EXPECT_EQ(Text(balance), "0.05,8");
    EXPECT_EQ(Log(), Framed("ReadCardNoBeep\nDecrease(77,100)\nReadCardBeep\n"));
    lib().Release(balance);
}

// Serial-number mode: a host that names the card by the ten-digit text of its
// read is charged only if that card is still on the reader. Numbers of other
// forms cannot be compared and charge the card on the reader, as before.
TEST_P(Deduct, SerialModeRefusesAnotherCardThanTheHostNamed) {
    const struct {
        const char* cardNumber;
        bool charged;
    } cases[] = {
        {"0000001001", true},   // the card read before
        {"0000001002", false},  // another card lies on the reader now
        {"1000001001", false},
        {"", true},             // hosts that pass nothing
        {"1001", true},
        {"1002", true},
        {"00000001002", true},
        {"000001002 ", true},
        {"000001002x", true},
        {"000000077", true},    // the code's nine digits
    };
    SetSetting("YKT_CODEORNO", "1");
    for (const auto& c : cases) {
        dbl_reset();
        dbl_set_card(1001, 77, 5, 8);
        std::string balance;
        const int result = Call(c.cardNumber, 100, balance);
        const std::string seen = std::string("card number \"") + c.cardNumber + "\"";
        EXPECT_EQ(result, c.charged ? 0 : 1) << seen;
        EXPECT_EQ(balance, c.charged ? "0.05,8" : "0,0") << seen;
        EXPECT_EQ(Log(), Framed(c.charged ? "ReadCardNoBeep\nDecrease(77,100)\nReadCardBeep\n" : "ReadCardNoBeep\n"))
            << seen;
    }
}

TEST_P(Deduct, AmountsPassUnchanged) {
    std::string balance;
    for (int amount : {0, -5, 2147483647}) {
        dbl_reset();
        EXPECT_EQ(Call("12", amount, balance), 0);
        EXPECT_EQ(Log(), Framed("Decrease(12," + std::to_string(amount) + ")\nReadCardBeep\n"));
    }
}

TEST_P(Deduct, CardNumbersThatAreNotDecimalIntegersAreRefused) {
    std::string balance;
    for (const std::string& bad : std::initializer_list<std::string>{"", "abc", "12a", " 12", "2147483648", "-2147483649", "1.5",
                                  std::string(1 << 20, '1')}) {
        dbl_reset();
        EXPECT_EQ(Call(bad, 100, balance), 1) << bad.substr(0, 20);
        EXPECT_EQ(balance, "0,0");
        EXPECT_EQ(Log(), Framed("")) << bad.substr(0, 20);
    }
    dbl_reset();
    EXPECT_EQ(Call("-2147483648", 1, balance), 0);
    EXPECT_EQ(Log(), Framed("Decrease(-2147483648,1)\nReadCardBeep\n"));
}

TEST_P(Deduct, FailureTable) {
    const struct {
        const char* name;
        void (*arrange)();
        int expected;
        const char* balance;
        const char* log;  // nullptr: the reader is never called
    } cases[] = {
        {"key of 25 characters", [] { SetSetting("YKT_KEY", std::string(kDefaultKey) + "0"); }, 1, "0,0", nullptr},
        {"no settings key", [] { DeleteSettings(); }, 1, "0,0", nullptr},
        {"serial mode, no card",
         [] {
             SetSetting("YKT_CODEORNO", "1");
             dbl_set_result("ReadCardNoBeep", 0);
         },
         1, "0,0", "ReadCardNoBeep\n"},
        {"serial mode, fault in the first read",
         [] {
             SetSetting("YKT_CODEORNO", "1");
             dbl_set_fault("ReadCardNoBeep", kAccessViolation);
         },
         1, "0,0", "ReadCardNoBeep\n"},
        {"refused", [] { dbl_set_result("Decrease", 0); }, 1, "0,0", "Decrease(12,100)\n"},
        {"access violation in Decrease", [] { dbl_set_fault("Decrease", kAccessViolation); }, 1, "0,0",
         "Decrease(12,100)\n"},
        {"foreign exception in Decrease", [] { dbl_set_fault("Decrease", kForeignException); }, 1, "0,0",
         "Decrease(12,100)\n"},
        {"re-read failed", [] { dbl_set_result("ReadCardBeep", 0); }, 0, "0,0", "Decrease(12,100)\nReadCardBeep\n"},
        {"fault in the re-read", [] { dbl_set_fault("ReadCardBeep", kForeignException); }, 0, "0,0",
         "Decrease(12,100)\nReadCardBeep\n"},
        {"fault in the closing call", [] { dbl_set_fault("WT_exit", kAccessViolation); }, 0, "3.45,7",
         "Decrease(12,100)\nReadCardBeep\n"},
        {"negative balance", [] { dbl_set_card(0, 12, -45, -1); }, 0, "-0.45,-1", "Decrease(12,100)\nReadCardBeep\n"},
    };
    for (const auto& c : cases) {
        dbl_reset();
        WriteDefaultSettings();
        c.arrange();
        std::string balance;
        EXPECT_EQ(Call("12", 100, balance), c.expected) << c.name;
        EXPECT_EQ(balance, c.balance) << c.name;
        EXPECT_EQ(Log(), c.log ? Framed(c.log) : "") << c.name;
    }
}

TEST_P(Deduct, OldOutputIsReleasedAndConstantsAreLeftAlone) {
    char* old = lib().NewString("9.99,1");
    char* output = old;
    EXPECT_EQ(api().vbDecCard(nullptr, 1, &output), 1);  // code mode, empty number: refused
    EXPECT_EQ(Text(output), "0,0");
    lib().Release(output);

    static char constant[] = "\xff\xff\xff\xff\x03\0\0\0abc";
    output = constant + 8;
    EXPECT_EQ(api().vbDecCard(nullptr, 1, &output), 1);
    EXPECT_EQ(RefCount(constant + 8), -1);
    lib().Release(output);
}

TEST_P(Deduct, ConstantInputStringIsReadButNotCounted) {
    static char constant[] = "\xff\xff\xff\xff\x02\0\0\0" "12";
    char* output = nullptr;
    EXPECT_EQ(api().vbDecCard(constant + 8, 3, &output), 0);
    EXPECT_EQ(RefCount(constant + 8), -1);
    EXPECT_EQ(Log(), Framed("Decrease(12,3)\nReadCardBeep\n"));
    lib().Release(output);
}

TEST_P(Deduct, NullBalanceAddressIsRefusedWithoutWork) {
    char* input = lib().NewString("12");
    EXPECT_EQ(api().vbDecCard(input, 1, nullptr), 1);
    EXPECT_EQ(RefCount(input), 1);
    EXPECT_EQ(Log(), "");
    lib().Release(input);
}

}  // namespace
}  // namespace ykt::test
