// What a careless or unusual host hands over: no output variable, variables
// holding constants or strings shared with other variables, odd card numbers,
// the same variable as input and output.
#include <cstdio>

#include "Robust.h"

namespace ykt::test {
namespace {

using HostInput = HostTest;
YKT_BOTH_MODES(HostInput);

// A block for a constant string: the host runtime keeps constants in its
// image; here they live in the mode's allocator and are freed by the test.
struct Constant {
    Constant(const HostLib& lib, const std::string& text) : lib(lib), text(lib.NewString(text, -1)) {}
    ~Constant() {
        reinterpret_cast<std::int32_t*>(text)[-2] = 1;
        lib.Release(text);
    }
    const HostLib& lib;
    char* text;
};

TEST_P(HostInput, NoOutputVariableIsRefusedWithoutWork) {
    WriteStore(AllVariants()[0]);
    char* number = lib().NewString("12");
    EXPECT_EQ(api().vbReadCardNo(nullptr), 1);
    EXPECT_EQ(api().vbReadCardBeep(nullptr), 1);
    EXPECT_EQ(api().vbDecCard(number, 5, nullptr), 1);
    EXPECT_EQ(RefCount(number), 1);
    EXPECT_EQ(Log(), "");
    lib().Release(number);
}

TEST_P(HostInput, OutputVariableHoldingAConstantOrASharedString) {
    struct Case {
        const char* name;
        Export which;
        bool cardOnReader;
        bool assigned;
    } cases[] = {
        {"read, card", Export::ReadCardNo, true, true},
        {"read, no card", Export::ReadCardNo, false, false},
        {"beep read, card", Export::ReadCardBeep, true, true},
        {"deduction, card", Export::DecCard, true, true},
        {"deduction, no card", Export::DecCard, false, true},  // "0,0" replaces whatever was there
    };
    WriteStore({"", Export::DecCard, false, true});  // serial mode: the deduction reads the card first
    int tried = 0;
    for (const Case& c : cases) {
        for (bool constant : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (constant ? ", constant" : ", shared with another variable"));
            dbl_reset();
            if (!c.cardOnReader) dbl_set_result("ReadCardNoBeep", 0);
            Constant held(lib(), "HELD");
            if (!constant) reinterpret_cast<std::int32_t*>(held.text)[-2] = 2;  // this variable and another
            char* variable = held.text;
            int result = 0;
            if (c.which == Export::DecCard)
                result = api().vbDecCard(nullptr, 5, &variable);
            else
                result = (c.which == Export::ReadCardNo ? api().vbReadCardNo : api().vbReadCardBeep)(&variable);
            EXPECT_EQ(result, c.cardOnReader ? 0 : 1);
            EXPECT_EQ(variable == held.text, !c.assigned);
            EXPECT_EQ(Text(held.text), "HELD") << "the old content was overwritten";
            const int expectedCount = constant ? -1 : (c.assigned ? 1 : 2);
            EXPECT_EQ(RefCount(held.text), expectedCount);
            if (variable != held.text) lib().Release(variable);
            ++tried;
        }
    }
    std::printf("[ figures  ] %s: %d output variables holding constants or shared strings\n", ModeName(GetParam()),
                tried);
}

TEST_P(HostInput, CardNumbersOfEveryShape) {
    const std::string mib(1 << 20, '1');
    struct Case {
        const char* name;
        std::string text;  // empty: a null string
        std::int32_t refCount;
        bool serialMode;
        std::string decrease;  // the Decrease line; empty when nothing may be deducted
    } cases[] = {
        {"null, code mode", "", 1, false, ""},
        {"null, serial mode (never read)", "", 1, true, "Decrease(12,5)"},
        {"constant", "000000012", -1, false, "Decrease(12,5)"},
        {"1 MiB of digits", mib, 1, false, ""},
        {"1 MiB of leading zeros", std::string((1 << 20) - 2, '0') + "12", 1, false, "Decrease(12,5)"},
        {"1 MiB of letters, serial mode", std::string(1 << 20, 'x'), 1, true, "Decrease(12,5)"},
        {"constant of 1 MiB", mib, -1, false, ""},
        {"embedded zero byte", std::string("12\0" "34", 5), 1, false, ""},
        {"full-width digits", "\xA3\xB1\xA3\xB2", 1, false, ""},
        {"only a sign", "-", 1, false, ""},
        {"lowest integer", "-2147483648", 1, false, "Decrease(-2147483648,5)"},
    };
    int tried = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteStore({"", Export::DecCard, false, c.serialMode});
        dbl_reset();
        char* input = c.text.empty() ? nullptr : lib().NewString(c.text, c.refCount);
        char* balance = nullptr;
        const int result = api().vbDecCard(input, 5, &balance);
        EXPECT_EQ(result, c.decrease.empty() ? 1 : 0);
        EXPECT_EQ(Text(balance), c.decrease.empty() ? "0,0" : "3.45,7");
        const std::string init = std::string("WT_init(2,9600,7,") + kKey + "00)\n";
        const std::string body =
            c.decrease.empty() ? "" : (c.serialMode ? "ReadCardNoBeep\n" : "") + c.decrease + "\nReadCardBeep\n";
        EXPECT_EQ(Log(), init + body + "WT_exit\n");
        if (input) {
            EXPECT_EQ(RefCount(input), c.refCount) << "the input's reference was not given back";
            EXPECT_EQ(Text(input), c.text);
            if (c.refCount < 0) reinterpret_cast<std::int32_t*>(input)[-2] = 1;
            lib().Release(input);
        }
        lib().Release(balance);
        ++tried;
    }
    std::printf("[ figures  ] %s: %d card-number inputs\n", ModeName(GetParam()), tried);
}

TEST_P(HostInput, SameVariableAsInputAndOutput) {
    // The host passes its variable by value and by address in one call: the
    // input must stay readable after the output replaced it, and be freed
    // once, by the library, when the call gives its reference back.
    WriteStore({"", Export::DecCard, false, false});
    char* variable = lib().NewString("12");
    EXPECT_EQ(api().vbDecCard(variable, 5, &variable), 0);
    EXPECT_EQ(Text(variable), "3.45,7");
    EXPECT_EQ(RefCount(variable), 1);
    EXPECT_EQ(Log(), std::string("WT_init(2,9600,7,") + kKey + "00)\nDecrease(12,5)\nReadCardBeep\nWT_exit\n");
    lib().Release(variable);
}

}  // namespace
}  // namespace ykt::test
