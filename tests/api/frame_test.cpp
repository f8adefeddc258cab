// The library frame: exports, settings rules through the registry, the reader
// connection of vbInitCom and the containment of faults.
#include "ApiFixture.h"

namespace ykt::test {
namespace {

using Frame = ApiTest;
YKT_BOTH_MODES(Frame);

TEST_P(Frame, ProbeAndCloseAnswerZeroWithAndWithoutTheKey) {
    EXPECT_EQ(api().vbYktExist(), 0);
    EXPECT_EQ(api().vbCloseCom(), 0);
    DeleteSettings();
    EXPECT_EQ(api().vbYktExist(), 0);
    EXPECT_EQ(api().vbCloseCom(), 0);
    EXPECT_EQ(Log(), "");
}

TEST_P(Frame, InitComOpensAndClosesWithTheStoredSettings) {
    EXPECT_EQ(api().vbInitCom(), 0);
    EXPECT_EQ(Log(), Framed(""));
}

TEST_P(Frame, InitComChecksTheTrimmedKeyLength) {
    const struct {
        std::string key;
        int expected;
    } cases[] = {{std::string(kDefaultKey).substr(0, 23), 1},
                 {kDefaultKey, 0},
                 {std::string(kDefaultKey) + "0", 1},
                 {std::string(kDefaultKey) + "   ", 0},
                 {"  " + std::string(kDefaultKey) + "\t", 0},
                 {"", 1}};
    for (const auto& c : cases) {
        dbl_reset();
        SetSetting("YKT_KEY", c.key);
        EXPECT_EQ(api().vbInitCom(), c.expected) << '"' << c.key << '"';
        EXPECT_EQ(Log(), c.expected == 0 ? Framed("") : "") << '"' << c.key << '"';
    }
}

TEST_P(Frame, MissingKeyOrValueNeverCallsTheReader) {
    DeleteSetting("YKT_KEY");
    EXPECT_EQ(api().vbInitCom(), 1);
    DeleteSettings();
    EXPECT_EQ(api().vbInitCom(), 1);
    EXPECT_EQ(Log(), "");
}

TEST_P(Frame, KeyBytesAreHandedOverAsThirteenBytes) {
    SetSetting("YKT_KEY", "000000000000000000000000");
    EXPECT_EQ(api().vbInitCom(), 0);
    EXPECT_EQ(Log(), "WT_init(0,9600,7,00000000000000000000000000)\nWT_exit\n");
    dbl_reset();
    // Lower-case letters follow the character rule: "ab" is 42 * 16 + 43 = 715, modulo 256 = 203 (0xCB).
    SetSetting("YKT_KEY", "ab0000000000000000000001");
    EXPECT_EQ(api().vbInitCom(), 0);
    EXPECT_EQ(Log(), "WT_init(0,9600,7,CB000000000000000000000100)\nWT_exit\n");
}

TEST_P(Frame, NumbersFollowTheZeroPrefixRule) {
    SetSetting("YKT_PORT", " 3 ");
    SetSetting("YKT_RATE", "9600a");
    SetSetting("YKT_SECTOR", "-1");
    EXPECT_EQ(api().vbInitCom(), 0);
    EXPECT_EQ(Log(), std::string("WT_init(3,0,0,") + kDefaultKey + "00)\nWT_exit\n");
}

TEST_P(Frame, ValuesOfAnotherRegistryType) {
    // Numbers stored as non-strings read 0; the operation carries on.
    SetRawSetting("YKT_PORT", REG_DWORD, std::string("\x05\0\0\0", 4));
    SetRawSetting("YKT_RATE", REG_BINARY, "9600");
    SetRawSetting("YKT_SECTOR", REG_MULTI_SZ, std::string("7\0\0", 3));
    EXPECT_EQ(api().vbInitCom(), 0);
    EXPECT_EQ(Log(), std::string("WT_init(0,0,0,") + kDefaultKey + "00)\nWT_exit\n");
    // A text value that cannot be read as text fails the operation before the reader.
    dbl_reset();
    SetRawSetting("YKT_KEY", REG_BINARY, kDefaultKey);
    EXPECT_EQ(api().vbInitCom(), 1);
    EXPECT_EQ(Log(), "");
}

TEST_P(Frame, ResultOfWtInitIsNotLookedAt) {
    dbl_set_result("WT_init", -5);
    EXPECT_EQ(api().vbInitCom(), 0);
}

TEST_P(Frame, FaultInsideWtInitIsContainedAndLeavesNothingToClose) {
    for (int fault : {kAccessViolation, kForeignException}) {
        dbl_reset();
        dbl_set_fault("WT_init", fault);
        EXPECT_EQ(api().vbInitCom(), 1) << fault;
        EXPECT_EQ(Log(), DefaultInit()) << fault;
    }
}

TEST_P(Frame, FaultInsideWtExitIsContainedAndFailsTheProbe) {
    for (int fault : {kAccessViolation, kForeignException}) {
        dbl_reset();
        dbl_set_fault("WT_exit", fault);
        EXPECT_EQ(api().vbInitCom(), 1) << fault;
        EXPECT_EQ(Log(), Framed("")) << fault;
    }
}

}  // namespace
}  // namespace ykt::test
