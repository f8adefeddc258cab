// The library frame: exports, settings rules through the registry, the reader
// connection of vbInitCom and the containment of faults.
#include "ApiFixture.h"

#include "CallChecked.h"

#include <vector>

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

// A fault in WT_init leaves nothing to close; one in WT_exit fails the probe.
TEST_P(Frame, FaultInsideTheConnectionCallsIsContained) {
    const struct {
        const char* function;
        std::string log;
    } cases[] = {{"WT_init", DefaultInit()}, {"WT_exit", Framed("")}};
    for (const auto& c : cases) {
        for (int fault : {kAccessViolation, kForeignException}) {
            dbl_reset();
            dbl_set_fault(c.function, fault);
            EXPECT_EQ(api().vbInitCom(), 1) << c.function << " " << fault;
            EXPECT_EQ(Log(), c.log) << c.function << " " << fault;
        }
    }
}

#if defined(__i386__)
// The argument bytes of an export, as the public header's table states them.
int ArgumentBytes(const char* name) {
#define YKT_ARGUMENT_BYTES(ordinal, export_name, bytes) \
    if (std::string(name) == #export_name) return bytes;
    VB_YKT_EXPORT_TABLE(YKT_ARGUMENT_BYTES)
#undef YKT_ARGUMENT_BYTES
    return -1;
}

TEST_P(Frame, EveryCardExportPopsItsOwnArguments) {
    char* output = nullptr;
    char* number = lib().NewString("12");
    const struct {
        const char* name;
        void* fn;
        std::vector<const void*> args;
        int expected;
    } cases[] = {
        {"vbYktExist", reinterpret_cast<void*>(api().vbYktExist), {}, 0},
        {"vbCloseCom", reinterpret_cast<void*>(api().vbCloseCom), {}, 0},
        {"vbInitCom", reinterpret_cast<void*>(api().vbInitCom), {}, 0},
        {"vbReadCardNo", reinterpret_cast<void*>(api().vbReadCardNo), {&output}, 0},
        {"vbReadCardBeep", reinterpret_cast<void*>(api().vbReadCardBeep), {&output}, 0},
        {"vbDecCard", reinterpret_cast<void*>(api().vbDecCard), {number, reinterpret_cast<const void*>(5), &output}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<int>(c.args.size() * sizeof(void*)), ArgumentBytes(c.name)) << c.name;
        const CheckedCall call = CallChecked(c.fn, static_cast<int>(c.args.size()), c.args.data());
        EXPECT_EQ(call.stackLeft, 0) << c.name;
        EXPECT_EQ(call.result, c.expected) << c.name;
    }
    lib().Release(output);
    lib().Release(number);
}
#endif

}  // namespace
}  // namespace ykt::test
