// vbReadCardNo and vbReadCardBeep through the real exports.
#include "ApiFixture.h"

#include "core/settings/DbPassword.h"

namespace ykt::test {
namespace {

using Read = ApiTest;
YKT_BOTH_MODES(Read);

TEST_P(Read, ReturnsTheNineDigitCardCode) {
    char* number = nullptr;
    EXPECT_EQ(api().vbReadCardNo(&number), 0);
    EXPECT_EQ(Text(number), "000000012");
    EXPECT_EQ(RefCount(number), 1);
    EXPECT_EQ(Log(), Framed("ReadCardNoBeep\n"));
    lib().Release(number);
}

TEST_P(Read, BeepVariantCallsTheBeepingRead) {
    char* number = nullptr;
    EXPECT_EQ(api().vbReadCardBeep(&number), 0);
    EXPECT_EQ(Text(number), "000000012");
    EXPECT_EQ(Log(), Framed("ReadCardBeep\n"));
    lib().Release(number);
}

TEST_P(Read, SerialModeGivesTenUnsignedDigits) {
    SetSetting("YKT_CODEORNO", "1 ");
    dbl_set_card(-1, 5, 0, 0);
    char* number = nullptr;
    EXPECT_EQ(api().vbReadCardNo(&number), 0);
    EXPECT_EQ(Text(number), "4294967295");
    lib().Release(number);
}

TEST_P(Read, LongCardCodeKeepsItsLastNineDigits) {
    dbl_set_card(0, 1234567890, 0, 0);
    char* number = nullptr;
    EXPECT_EQ(api().vbReadCardNo(&number), 0);
    EXPECT_EQ(Text(number), "234567890");
    lib().Release(number);
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

TEST_P(Read, StateCheckReceivesTheTenArguments) {
    SetSetting("YKT_DBSATAUS", " 1 ");
    SetSetting("YKT_DBIPADDR", "10.0.0.5");
    SetSetting("YKT_DBNAME", "ykt");
    SetSetting("YKT_DBUSER", "sa");
    SetSetting("YKT_DBPASS", EncodeDbPassword("s3cret\xD6\xD0"));
    char* number = nullptr;
    EXPECT_EQ(api().vbReadCardNo(&number), 0);
    EXPECT_EQ(std::string(dbl_card_state_args()),
              "\"10.0.0.5\",\"sa\",\"s3cret\xD6\xD0\",\"ykt\",\"000000012\",\"\",0,0,0,0");
    lib().Release(number);
}

TEST_P(Read, EmptyDatabaseSettingsStillCallTheService) {
    SetSetting("YKT_DBSATAUS", "1");
    char* number = nullptr;
    EXPECT_EQ(api().vbReadCardNo(&number), 0);
    EXPECT_EQ(std::string(dbl_card_state_args()), "\"\",\"\",\"\",\"\",\"000000012\",\"\",0,0,0,0");
    lib().Release(number);
}

TEST_P(Read, GarbledStoredPasswordDoesNotStopTheRead) {
    SetSetting("YKT_DBPASS", "12a4");
    char* number = nullptr;
    EXPECT_EQ(api().vbReadCardNo(&number), 0);
    lib().Release(number);
    number = nullptr;
    SetSetting("YKT_DBSATAUS", "1");
    EXPECT_EQ(api().vbReadCardNo(&number), 0);
    EXPECT_EQ(std::string(dbl_card_state_args()), "\"\",\"\",\"\",\"\",\"000000012\",\"\",0,0,0,0");
    lib().Release(number);
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
