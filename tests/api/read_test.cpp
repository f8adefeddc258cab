// vbReadCardNo and vbReadCardBeep through the real exports.
#include "ApiFixture.h"

#include <utility>
#include <vector>

namespace ykt::test {
namespace {

using Read = ApiTest;
YKT_BOTH_MODES(Read);

TEST_P(Read, SuccessfulReadsReturnTheCardNumber) {
    const struct {
        const char* name;
        const char* codeOrNo;
        int serial, code;
        bool beep;
        const char* number;
        const char* log;
    } cases[] = {
        {"nine-digit card code", "0", 1001, 12, false, "000000012", "ReadCardNoBeep\n"},
        {"with the beep", "0", 1001, 12, true, "000000012", "ReadCardBeep\n"},
        {"serial number as ten unsigned digits", "1 ", -1, 5, false, "4294967295", "ReadCardNoBeep\n"},
        {"long card code keeps its last nine digits", "0", 0, 1234567890, false, "234567890", "ReadCardNoBeep\n"},
    };
    for (const auto& c : cases) {
        dbl_reset();
        SetSetting("YKT_CODEORNO", c.codeOrNo);
        dbl_set_card(c.serial, c.code, 0, 0);
        char* number = nullptr;
        EXPECT_EQ(c.beep ? api().vbReadCardBeep(&number) : api().vbReadCardNo(&number), 0) << c.name;
        EXPECT_EQ(Text(number), c.number) << c.name;
        EXPECT_EQ(RefCount(number), 1) << c.name;
        EXPECT_EQ(Log(), Framed(c.log)) << c.name;
        lib().Release(number);
    }
}

TEST_P(Read, SuccessReleasesWhatTheVariableHeld) {
    // Count 1: freed. Count 2: the host keeps its other reference. Count -1: a constant.
    char* sole = lib().NewString("old");
    char* shared = lib().NewString("shared", 2);
    static char constant[] = "\xff\xff\xff\xff\x05\0\0\0const";
    char* constantText = constant + 8;

    char* variable = sole;
    EXPECT_EQ(api().vbReadCardNo(&variable), 0);
    EXPECT_EQ(Text(variable), "000000012");
    lib().Release(variable);

    variable = shared;
    EXPECT_EQ(api().vbReadCardNo(&variable), 0);
    EXPECT_EQ(RefCount(shared), 1);
    lib().Release(shared);
    lib().Release(variable);

    variable = constantText;
    EXPECT_EQ(api().vbReadCardNo(&variable), 0);
    EXPECT_EQ(RefCount(constantText), -1);
    EXPECT_EQ(Text(constantText), "const");
    lib().Release(variable);
}

TEST_P(Read, FailureLeavesTheVariableUntouched) {
    const struct {
        const char* name;
        void (*arrange)();
        const char* log;  // empty: the reader is never called
    } cases[] = {
        {"no card", [] { dbl_set_result("ReadCardNoBeep", 0); }, "ReadCardNoBeep\n"},
        {"reader answers -1", [] { dbl_set_result("ReadCardNoBeep", -1); }, "ReadCardNoBeep\n"},
        {"access violation in the read", [] { dbl_set_fault("ReadCardNoBeep", kAccessViolation); },
         "ReadCardNoBeep\n"},
        {"foreign exception in the read", [] { dbl_set_fault("ReadCardNoBeep", kForeignException); },
         "ReadCardNoBeep\n"},
        {"key of 23 characters", [] { SetSetting("YKT_KEY", std::string(kDefaultKey).substr(1)); }, nullptr},
        {"no settings key", [] { DeleteSettings(); }, nullptr},
    };
    for (const auto& c : cases) {
        dbl_reset();
        WriteDefaultSettings();
        c.arrange();
        char* old = lib().NewString("previous");
        char* variable = old;
        EXPECT_EQ(api().vbReadCardNo(&variable), 1) << c.name;
        EXPECT_EQ(variable, old) << c.name;
        EXPECT_EQ(RefCount(old), 1) << c.name;
        EXPECT_EQ(Log(), c.log ? Framed(c.log) : "") << c.name;
        lib().Release(old);
    }
}

TEST_P(Read, NullOutputAddressIsRefusedWithoutWork) {
    EXPECT_EQ(api().vbReadCardNo(nullptr), 1);
    EXPECT_EQ(api().vbReadCardBeep(nullptr), 1);
    EXPECT_EQ(Log(), "");
}

TEST_P(Read, StateCheckDecidesBetweenUsableAndUnusable) {
    SetSetting("YKT_DBSATAUS", "1");
    const struct {
        int serviceResult;
        int fault;
        int expected;
    } cases[] = {{1, kNoFault, 0}, {0, kNoFault, 0}, {-7, kNoFault, 0}, {2, kNoFault, -1},
                 {99, kNoFault, -1}, {5, kAccessViolation, 0}, {5, kForeignException, 0}};
    for (const auto& c : cases) {
        dbl_reset();
        dbl_set_result("GetCardState", c.serviceResult);
        dbl_set_fault("GetCardState", c.fault);
        char* number = nullptr;
        EXPECT_EQ(api().vbReadCardNo(&number), c.expected) << c.serviceResult << "/" << c.fault;
        // The card number arrives whatever the card system says.
        EXPECT_EQ(Text(number), "000000012");
        EXPECT_EQ(Log(), Framed("ReadCardNoBeep\nGetCardState\n"));
        lib().Release(number);
    }
}

// What the card-state service receives: server, user, password, database,
// card number, then its five outputs as handed in.
TEST_P(Read, StateCheckReceivesTheTenArguments) {
    const struct {
        const char* name;
        std::vector<std::pair<const char*, const char*>> stored;
        const char* args;  // nullptr: the service is not called
    } cases[] = {
        {"all settings",
         {{"YKT_DBSATAUS", " 1 "}, {"YKT_DBIPADDR", "10.0.0.5"}, {"YKT_DBNAME", "ykt"}, {"YKT_DBUSER", "sa"},
          {"YKT_DBPASS", "37070707340737043433373073347300"}},  // "s3cret\xD6\xD0" scrambled
         "\"10.0.0.5\",\"sa\",\"s3cret\xD6\xD0\",\"ykt\",\"000000012\",\"\",0,0,0,0"},
        {"empty database settings", {{"YKT_DBSATAUS", "1"}}, "\"\",\"\",\"\",\"\",\"000000012\",\"\",0,0,0,0"},
        // A garbled stored password does not stop the read; it counts as empty.
        {"garbled password, check off", {{"YKT_DBPASS", "12a4"}}, nullptr},
        {"garbled password, check on", {{"YKT_DBPASS", "12a4"}, {"YKT_DBSATAUS", "1"}},
         "\"\",\"\",\"\",\"\",\"000000012\",\"\",0,0,0,0"},
    };
    for (const auto& c : cases) {
        dbl_reset();
        WriteDefaultSettings();
        for (const auto& [name, value] : c.stored) SetSetting(name, value);
        char* number = nullptr;
        EXPECT_EQ(api().vbReadCardNo(&number), 0) << c.name;
        if (c.args) {
            EXPECT_EQ(std::string(dbl_card_state_args()), c.args) << c.name;
        } else {
            EXPECT_EQ(Log(), Framed("ReadCardNoBeep\n")) << c.name;
        }
        lib().Release(number);
    }
}

TEST_P(Read, FaultInsideTheClosingCallKeepsTheReadCard) {
    for (int fault : {kAccessViolation, kForeignException}) {
        dbl_reset();
        dbl_set_fault("WT_exit", fault);
        char* number = nullptr;
        EXPECT_EQ(api().vbReadCardNo(&number), 0);
        EXPECT_EQ(Text(number), "000000012");
        EXPECT_EQ(Log(), Framed("ReadCardNoBeep\n"));
        lib().Release(number);
    }
}

}  // namespace
}  // namespace ykt::test
