// What the dialog does with the store: loading, the view and edit modes, the
// key filters, the checks before a save, the save itself and its failures.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "DialogDriver.h"
#include "DoubleControl.h"
#include "core/card/CardOperations.h"

namespace ykt::test {
namespace {

using namespace ykt::dialog;
namespace s = ykt::setting;

using ykt::kDefaultKey;
const wchar_t* const kNotice = L"提示信息";
const wchar_t* const kKeyLengthText = L"通信密码长度不对，应为24位！";
const wchar_t* const kWriteFailedText =
    L"保存您配置的参数失败！在WinNT/2000/XP中只能Administrator用户才有权修改，请与系统管理员联系！";
const wchar_t* const kIntervalText = L"查询间隔必须是不大于2147483647的整数毫秒数！";

const char* const kAllValues[] = {s::kPort,     s::kRate,     s::kSector, s::kKey,    s::kAuto,   s::kStepSec,
                                  s::kDbStatus, s::kDbIpAddr, s::kDbName, s::kDbUser, s::kDbPass, s::kCodeOrNo};

using Values = std::vector<std::pair<const char*, std::string>>;
using Store = std::map<std::string, std::string>;

Store ReadStore() {
    Store store;
    for (const char* name : kAllValues) store[name] = GetSetting(name);
    return store;
}

void Apply(const Values& values) {
    for (const auto& [name, value] : values) SetSetting(name, value);
}

// The store that WriteDefaultSettings leaves, as a map.
Store DefaultStore() {
    Store store;
    for (const char* name : kAllValues) store[name] = "<missing>";
    store[s::kPort] = "0";
    store[s::kRate] = "9600";
    store[s::kSector] = "7";
    store[s::kKey] = kDefaultKey;
    store[s::kAuto] = "0";
    store[s::kStepSec] = "1500";
    store[s::kDbStatus] = "0";
    store[s::kCodeOrNo] = "0";
    return store;
}

void ExpectMessage(const SeenMessageBox& seen, const wchar_t* text, HWND dialog) {
    EXPECT_EQ(seen.text, text);
    EXPECT_EQ(seen.title, kNotice);
    EXPECT_EQ(seen.buttons, 1) << "OK only";
    EXPECT_FALSE(seen.icon);
    EXPECT_EQ(seen.owner, dialog);
}

// Puts the caret at the end of a control's text with a click and End.
void FocusAtEnd(Dialog& dialog, ControlId id) {
    dialog.Click(id);
    dialog.Key(VK_END);
}

class BehaviourTest : public testing::Test {
protected:
    void SetUp() override {
        DeleteSettings();
        dbl_reset();
    }
    void TearDown() override { DeleteSettings(); }
};

TEST_F(BehaviourTest, NoStoreShowsDefaultsAndTheFirstExitWritesEightValues) {
    const int result = ShowDialog([&](Dialog& dialog) {
        EXPECT_EQ(dialog.Text(idCbbPort), L"1");
        EXPECT_EQ(dialog.Selection(idCbbPort), 0);
        EXPECT_EQ(dialog.Text(idCbbRate), L"9600");
        EXPECT_EQ(dialog.Selection(idCbbRate), 4);
        EXPECT_EQ(dialog.Text(idEdSector), L"7");
        EXPECT_EQ(dialog.Text(idEdPassKey), L"5A3C96E1B74D2F08C5A17E39");
        EXPECT_FALSE(dialog.Checked(idCbAuto));
        EXPECT_EQ(dialog.Text(idEdStepSec), L"1500");
        EXPECT_FALSE(dialog.Checked(idCbStatus));
        for (ControlId box : {idEdIP, idEdName, idEdUser, idEdPass}) {
            EXPECT_EQ(dialog.Text(box), L"");
            EXPECT_FALSE(dialog.Enabled(box));
        }
        EXPECT_TRUE(dialog.Checked(idRbCode));
        EXPECT_FALSE(dialog.EditMode());
        EXPECT_EQ(dialog.Text(idGrbEdit), L"");
        EXPECT_EQ(GetSetting(s::kPort), "<missing>") << "nothing is written before a save";
        dialog.Click(idBtCancel);  // view mode: "不保存退出" saves
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadStore(), DefaultStore());
}

struct RoundTrip {
    const char* name;
    Values stored;  // over the default store
    std::vector<std::pair<ControlId, std::wstring>> shown;
    int portEntry;
    int rateEntry;
    bool autoTicked;
    bool serialNumber;
    Values saved;  // changes against the stored values after "保存并退出"
};

TEST_F(BehaviourTest, LoadShowsAndSaveWritesBack) {
    // clang-format off
    const RoundTrip cases[] = {
        {"Port3", {{s::kPort, "3"}}, {{idCbbPort, L"4"}}, 3, 4, false, false, {}},
        {"PortBetweenSpaces", {{s::kPort, " 3 "}}, {{idCbbPort, L"4"}}, 3, 4, false, false, {{s::kPort, "3"}}},
        {"Port12", {{s::kPort, "12"}}, {}, -1, 4, false, false, {{s::kPort, "-1"}}},
        {"PortMinusOne", {{s::kPort, "-1"}}, {}, -1, 4, false, false, {}},
        {"RateBetweenSpaces", {{s::kRate, " 9600 "}}, {{idCbbRate, L"9600"}}, 0, 4, false, false, {{s::kRate, "9600"}}},
        {"Rate19200", {{s::kRate, "19200"}}, {{idCbbRate, L"19200"}}, 0, 6, false, false, {}},
        {"RateUnlisted", {{s::kRate, "300"}}, {{idCbbRate, L"300"}}, 0, -1, false, false, {}},
        {"AutoBetweenSpaces", {{s::kAuto, " 1 "}}, {}, 0, 4, true, false, {{s::kAuto, "1"}}},
        {"AutoY", {{s::kAuto, "Y"}}, {}, 0, 4, false, false, {{s::kAuto, "0"}}},
        {"AutoTrue", {{s::kAuto, "true"}}, {}, 0, 4, false, false, {{s::kAuto, "0"}}},
        {"Auto2", {{s::kAuto, "2"}}, {}, 0, 4, false, false, {{s::kAuto, "0"}}},
        {"Interval999", {{s::kStepSec, "999"}}, {{idEdStepSec, L"999"}}, 0, 4, false, false, {{s::kStepSec, "1000"}}},
        {"Interval1000", {{s::kStepSec, "1000"}}, {{idEdStepSec, L"1000"}}, 0, 4, false, false, {}},
        {"IntervalWithLeadingZero", {{s::kStepSec, "01500"}}, {{idEdStepSec, L"1500"}}, 0, 4, false, false, {{s::kStepSec, "1500"}}},
        {"SectorEmpty", {{s::kSector, ""}}, {{idEdSector, L"0"}}, 0, 4, false, false, {{s::kSector, "0"}}},
        {"KeyBetweenSpaces", {{s::kKey, std::string("  ") + kDefaultKey + " "}}, {{idEdPassKey, L"5A3C96E1B74D2F08C5A17E39"}}, 0, 4, false, false, {{s::kKey, kDefaultKey}}},
        {"SerialNumber", {{s::kCodeOrNo, "1"}}, {}, 0, 4, false, true, {}},
        {"CodeOrNoOther", {{s::kCodeOrNo, "2"}}, {}, 0, 4, false, false, {{s::kCodeOrNo, "0"}}},
        {"CardStateCheckOn", {{s::kDbStatus, "1"}, {s::kDbIpAddr, "10.1.2.3"}, {s::kDbName, "ykt"}, {s::kDbUser, "sa"}, {s::kDbPass, "340334043407"}},
         {{idEdIP, L"10.1.2.3"}, {idEdName, L"ykt"}, {idEdUser, L"sa"}, {idEdPass, L"abc"}}, 0, 4, false, false, {}},
        {"CardStateCheckOffShowsButKeeps", {{s::kDbStatus, "0"}, {s::kDbIpAddr, "host"}, {s::kDbName, "db"}, {s::kDbUser, "u"}, {s::kDbPass, "3403"}},
         {{idEdIP, L"host"}, {idEdName, L"db"}, {idEdUser, L"u"}, {idEdPass, L"a"}}, 0, 4, false, false, {}},
    };
    // clang-format on
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.name);
        WriteDefaultSettings();
        Apply(c.stored);
        Store expected = ReadStore();
        for (const auto& [name, value] : c.saved) expected[name] = value;
        const bool dbOn = expected[s::kDbStatus] == "1";
        const int result = ShowDialog([&](Dialog& dialog) {
            for (const auto& [id, text] : c.shown) EXPECT_EQ(dialog.Text(id), text) << "control " << id;
            EXPECT_EQ(dialog.Selection(idCbbPort), c.portEntry);
            EXPECT_EQ(dialog.Selection(idCbbRate), c.rateEntry);
            EXPECT_EQ(dialog.Checked(idCbAuto), c.autoTicked);
            EXPECT_EQ(dialog.Checked(idCbStatus), dbOn);
            EXPECT_EQ(dialog.Enabled(idEdIP), dbOn);
            EXPECT_EQ(dialog.Checked(idRbOrder), c.serialNumber);
            EXPECT_EQ(dialog.Checked(idRbCode), !c.serialNumber);
            dialog.Click(idBtOk);
            EXPECT_TRUE(dialog.WaitClosed());
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadStore(), expected);
        if (std::string(c.name) == "Interval999") {
            EXPECT_EQ(TextsAtClose()[idEdStepSec], L"1000") << "the box shows what is saved";
        }
    }
}

// A value the load cannot use stops it before any control is filled: the
// controls keep what they were created with, and the dialog still opens.
TEST_F(BehaviourTest, UnusableValueLeavesTheControlsAsCreated) {
    struct Fault {
        const char* name;
        const char* value;  // nullptr: the value is deleted
        DWORD type;
    };
    const Fault faults[] = {
        {"", nullptr, REG_NONE},  // no fault: the store below fills the controls
        {s::kRate, "", REG_SZ},
        {s::kRate, nullptr, REG_NONE},
        {s::kRate, "96O0", REG_SZ},
        {s::kPort, "x", REG_SZ},
        {s::kPort, "99999999999", REG_SZ},
        {s::kSector, "-", REG_SZ},
        {s::kStepSec, "1.5", REG_SZ},
        {s::kDbPass, "12a4", REG_SZ},
        {s::kPort, "\x03\0\0\0", REG_DWORD},
        {s::kKey, "A\0B\0\0", REG_MULTI_SZ},
        {s::kCodeOrNo, "1", REG_BINARY},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(testing::Message() << fault.name << "=" << (fault.value ? fault.value : "(deleted)"));
        DeleteSettings();
        Apply({{s::kPort, "3"}, {s::kRate, "19200"}, {s::kSector, "5"}, {s::kKey, "00112233445566778899AABB"},
               {s::kAuto, "1"}, {s::kStepSec, "2000"}, {s::kDbStatus, "1"}, {s::kDbIpAddr, "srv"},
               {s::kDbName, "db"}, {s::kDbUser, "u"}, {s::kDbPass, "340334043407"}, {s::kCodeOrNo, "1"}});
        const bool faulty = *fault.name != '\0';
        if (faulty && !fault.value) DeleteSetting(fault.name);
        if (faulty && fault.value) {
            const std::size_t size = fault.type == REG_DWORD ? 4 : fault.type == REG_MULTI_SZ ? 5 : std::strlen(fault.value);
            SetRawSetting(fault.name, fault.type, std::string(fault.value, size));
        }
        const Store before = ReadStore();
        const int result = ShowDialog([&](Dialog& dialog) {
            EXPECT_EQ(dialog.Selection(idCbbPort), faulty ? -1 : 3);
            EXPECT_EQ(dialog.Text(idCbbPort), faulty ? L"1" : L"4");
            EXPECT_EQ(dialog.Selection(idCbbRate), faulty ? -1 : 6);
            EXPECT_EQ(dialog.Text(idEdSector), faulty ? L"7" : L"5");
            EXPECT_EQ(dialog.Text(idEdPassKey), faulty ? L"5A3C96E1B74D2F08C5A17E39" : L"00112233445566778899AABB");
            EXPECT_EQ(dialog.Checked(idCbAuto), !faulty);
            EXPECT_EQ(dialog.Text(idEdStepSec), faulty ? L"1500" : L"2000");
            EXPECT_EQ(dialog.Checked(idCbStatus), !faulty);
            EXPECT_EQ(dialog.Text(idEdIP), faulty ? L"" : L"srv");
            EXPECT_EQ(dialog.Text(idEdPass), faulty ? L"" : L"abc");
            EXPECT_EQ(dialog.Checked(idRbOrder), !faulty);
            EXPECT_FALSE(dialog.EditMode());
            dialog.PressCloseButton();
            EXPECT_TRUE(dialog.WaitClosed());
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadStore(), before) << "nothing written";
    }
}

// After a load that stopped, the controls show the layout's values, not the
// store's: "不保存退出" in view mode must not save them over the store, while
// "保存并退出" saves what is shown, as the person asked.
TEST_F(BehaviourTest, AfterAFailedLoadOnlySaveAndExitWrites) {
    struct Fault {
        const char* name;
        const char* value;  // nullptr: the value is deleted
        DWORD type;
    };
    const Fault faults[] = {
        {s::kRate, "96O0", REG_SZ},  {s::kRate, nullptr, REG_NONE},     {s::kPort, "x", REG_SZ},
        {s::kSector, "-", REG_SZ},   {s::kStepSec, "1.5", REG_SZ},      {s::kDbPass, "12a4", REG_SZ},
        {s::kPort, "\x03\0\0\0", REG_DWORD},
    };
    for (const Fault& fault : faults) {
        for (ControlId button : {idBtCancel, idBtOk}) {
            SCOPED_TRACE(testing::Message() << fault.name << "=" << (fault.value ? fault.value : "(deleted)")
                                            << (button == idBtCancel ? ", 不保存退出" : ", 保存并退出"));
            DeleteSettings();
            Apply({{s::kPort, "3"}, {s::kRate, "19200"}, {s::kSector, "5"}, {s::kKey, "00112233445566778899AABB"},
                   {s::kAuto, "1"}, {s::kStepSec, "2000"}, {s::kDbStatus, "1"}, {s::kDbIpAddr, "srv"},
                   {s::kDbName, "db"}, {s::kDbUser, "u"}, {s::kDbPass, "340334043407"}, {s::kCodeOrNo, "1"}});
            if (!fault.value) DeleteSetting(fault.name);
            if (fault.value)
                SetRawSetting(fault.name, fault.type,
                              std::string(fault.value, fault.type == REG_DWORD ? 4 : std::strlen(fault.value)));
            const Store before = ReadStore();
            std::string rateShown;
            const int result = ShowDialog([&](Dialog& dialog) {
                EXPECT_EQ(dialog.Text(idEdPassKey), L"5A3C96E1B74D2F08C5A17E39") << "the layout's key";
                EXPECT_FALSE(dialog.EditMode());
                rateShown = Ansi(dialog.Text(idCbbRate));
                dialog.Click(button);
                EXPECT_TRUE(dialog.WaitClosed()) << "closes at once, without a message";
            });
            EXPECT_EQ(result, 0);
            if (button == idBtCancel) {
                EXPECT_EQ(ReadStore(), before) << "nothing written";
                continue;
            }
            Store after = before;
            after[s::kPort] = "-1";
            after[s::kRate] = rateShown;
            after[s::kSector] = "7";
            after[s::kKey] = kDefaultKey;
            after[s::kAuto] = "0";
            after[s::kStepSec] = "1500";
            after[s::kDbStatus] = "0";  // the four database values stay as they were
            after[s::kCodeOrNo] = "0";
            EXPECT_EQ(ReadStore(), after) << "what was shown is saved";
        }
    }
}

TEST_F(BehaviourTest, KeyOfTheWrongLengthKeepsTheDialogOpen) {
    for (const std::string& key : {std::string("5A3C96E1B74D2F08C5A17E3"), std::string("5A3C96E1B74D2F08C5A17E39ABCDEF")}) {
        SCOPED_TRACE(key);
        WriteDefaultSettings(key);
        SetSetting(s::kPort, "2");
        const Store before = ReadStore();
        int result = ShowDialog([&](Dialog& dialog) {
            EXPECT_EQ(Ansi(dialog.Text(idEdPassKey)), key) << "shown in full";
            for (ControlId button : {idBtOk, idBtCancel}) {
                dialog.Click(button);
                ExpectMessage(dialog.AnswerMessageBox(), kKeyLengthText, dialog.Window());
                EXPECT_TRUE(dialog.Open());
                EXPECT_FALSE(dialog.EditMode()) << "still in view mode";
            }
            dialog.Click(idBtMod);
            EXPECT_TRUE(dialog.EditMode());
            dialog.Click(idBtOk);
            ExpectMessage(dialog.AnswerMessageBox(), kKeyLengthText, dialog.Window());
            EXPECT_TRUE(dialog.EditMode()) << "still in edit mode";
            dialog.Click(idBtCancel);  // edit mode: leaves without writing
            EXPECT_TRUE(dialog.WaitClosed());
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadStore(), before);
        result = ShowDialog([&](Dialog& dialog) {
            dialog.PressCloseButton();
            EXPECT_TRUE(dialog.WaitClosed());
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(ReadStore(), before);
    }
}

// Typed characters in edit mode, each control with its filter and limit.
TEST_F(BehaviourTest, TypingIsFilteredPerControl) {
    struct Typing {
        ControlId id;
        std::wstring start;
        std::wstring typed;  // \b is the Backspace key
        std::wstring shown;
    };
    const std::wstring twelveChinese = L"一卡通服务器数据库用户名";
    // clang-format off
    const Typing cases[] = {
        {idEdPassKey, L"", L"12g3aBcdef", L"123ABCDEF"},
        {idEdPassKey, L"0123456789ABCDEF01234567", L"8", L"0123456789ABCDEF01234567"},
        {idEdPassKey, L"1中2", L"\b9", L"1中9"},
        {idEdPassKey, L"", L"中Ａ", L""},
        {idEdSector, L"", L"1a2-3 4", L"1234"},
        {idEdSector, L"12", L"\b", L"1"},
        {idEdStepSec, L"", L"2x0中0+0", L"2000"},
        {idEdStepSec, L"2000", L"\b\b", L"20"},
        {idCbbPort, L"", L"1a0", L"10"},
        {idCbbPort, L"10", L"\b", L"1"},
        {idCbbRate, L"9600", L"1a\b", L"9600"},
        {idEdIP, std::wstring(23, L'a'), L"bc", std::wstring(23, L'a') + L"b"},
        {idEdName, L"", twelveChinese + L"x", twelveChinese},
        {idEdUser, std::wstring(23, L'u'), L"中", std::wstring(23, L'u')},
        {idEdPass, L"", L"pa中", L"pa中"},
    };
    // clang-format on
    SetSetting(s::kDbStatus, "1");
    int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        ASSERT_TRUE(dialog.EditMode());
        for (const Typing& c : cases) {
            SCOPED_TRACE(testing::Message() << "control " << c.id << " typed " << Ansi(c.typed).size() << " bytes");
            dialog.SetText(c.id, c.start);
            FocusAtEnd(dialog, c.id);
            dialog.Type(c.typed);
            EXPECT_EQ(dialog.Text(c.id), c.shown);
        }
        EXPECT_EQ(dialog.Selection(idCbbPort), 0) << "the typed port selects its entry";
        FocusAtEnd(dialog, idCbbPort);
        dialog.Type(L"0");
        EXPECT_EQ(dialog.Text(idCbbPort), L"10");
        EXPECT_EQ(dialog.Focus(), idCbbPort);
        EXPECT_EQ(dialog.Selection(idCbbPort), 9);
        // Keys that type nothing do not change the rate either.
        dialog.Click(idCbbRate);
        dialog.Key(VK_HOME);
        dialog.Key(VK_DELETE);
        EXPECT_EQ(dialog.Text(idCbbRate), L"9600");
        EXPECT_EQ(SendMessageW(dialog.Control(idEdPass), EM_GETPASSWORDCHAR, 0, 0), L'*');
        dialog.Click(idBtCancel);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(s::kPort), "<missing>");
}

TEST_F(BehaviourTest, EnterMovesOnAndSavesNothing) {
    const int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        for (ControlId box : {idCbbRate, idCbbPort, idEdStepSec, idEdSector, idEdPassKey}) {
            dialog.Click(box);
            const int before = dialog.Focus();
            dialog.Key(VK_RETURN);
            EXPECT_NE(dialog.Focus(), before);
            EXPECT_TRUE(dialog.Open());
        }
        dialog.Click(idBtCancel);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(s::kPort), "<missing>");
}

TEST_F(BehaviourTest, CardStateSwitch) {
    // Unticked: the stored server, name, user and password stay, edited or not.
    WriteDefaultSettings();
    Apply({{s::kDbStatus, "1"}, {s::kDbIpAddr, "old-ip"}, {s::kDbName, "old-db"}, {s::kDbUser, "old-user"},
           {s::kDbPass, "340334043407"}});
    Store expected = ReadStore();
    expected[s::kDbStatus] = "0";
    int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        FocusAtEnd(dialog, idEdIP);
        dialog.Type(L"x");
        FocusAtEnd(dialog, idEdPass);
        dialog.Type(L"y");
        dialog.Click(idCbStatus);
        EXPECT_FALSE(dialog.Checked(idCbStatus));
        for (ControlId box : {idEdIP, idEdName, idEdUser, idEdPass}) EXPECT_FALSE(dialog.Enabled(box));
        EXPECT_EQ(dialog.Text(idEdIP), L"old-ipx") << "texts stay";
        dialog.Click(idBtOk);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ReadStore(), expected);

    // Ticked with empty boxes: four empty texts.
    DeleteSettings();
    result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        dialog.Click(idCbStatus);
        for (ControlId box : {idEdIP, idEdName, idEdUser, idEdPass}) EXPECT_TRUE(dialog.Enabled(box));
        dialog.Click(idBtOk);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    Store empty = DefaultStore();
    empty[s::kDbStatus] = "1";
    for (const char* name : {s::kDbIpAddr, s::kDbName, s::kDbUser, s::kDbPass}) empty[name] = "";
    EXPECT_EQ(ReadStore(), empty);
}

TEST_F(BehaviourTest, PasswordIsStoredScrambledAndShownPlainNextTime) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"abc", "340334043407"},
        {L"密码1", "70077370700474470703"},  // code page 936: C3 DC C2 EB 31
    };
    for (const auto& [password, scrambled] : cases) {
        SCOPED_TRACE(scrambled);
        DeleteSettings();
        int result = ShowDialog([&](Dialog& dialog) {
            dialog.Click(idBtMod);
            dialog.Click(idCbStatus);
            FocusAtEnd(dialog, idEdIP);
            dialog.Type(L"服务器");
            FocusAtEnd(dialog, idEdPass);
            dialog.Type(password);
            dialog.Click(idBtOk);
            EXPECT_TRUE(dialog.WaitClosed());
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(GetSetting(s::kDbPass), scrambled);
        EXPECT_EQ(GetSetting(s::kDbIpAddr), Ansi(L"服务器"));
        result = ShowDialog([&](Dialog& dialog) {
            EXPECT_EQ(dialog.Text(idEdPass), password);
            EXPECT_EQ(dialog.Text(idEdIP), L"服务器");
            dialog.PressCloseButton();
        });
        EXPECT_EQ(result, 0);
    }
}

TEST_F(BehaviourTest, IntervalIsCheckedBeforeAnythingIsWritten) {
    const int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        for (const wchar_t* typed : {L"", L"99999999999"}) {
            dialog.SetText(idEdStepSec, L"");
            FocusAtEnd(dialog, idEdStepSec);
            dialog.Type(typed);
            dialog.Click(idBtOk);
            ExpectMessage(dialog.AnswerMessageBox(), kIntervalText, dialog.Window());
            EXPECT_TRUE(dialog.Open());
            EXPECT_TRUE(dialog.EditMode());
            EXPECT_EQ(dialog.Focus(), idEdStepSec) << "ready to be corrected";
            EXPECT_EQ(GetSetting(s::kPort), "<missing>");
        }
        // The key is checked first.
        dialog.SetText(idEdPassKey, L"ABC");
        dialog.Click(idBtOk);
        ExpectMessage(dialog.AnswerMessageBox(), kKeyLengthText, dialog.Window());
        dialog.SetText(idEdPassKey, L"5A3C96E1B74D2F08C5A17E39");
        dialog.SetText(idEdStepSec, L"");
        FocusAtEnd(dialog, idEdStepSec);
        dialog.Type(L"2500");
        dialog.Click(idBtOk);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(s::kStepSec), "2500");
}

TEST_F(BehaviourTest, TypedValuesAreSavedAsTyped) {
    struct Case {
        ControlId id;
        std::wstring typed;
        const char* name;
        std::string stored;
        std::wstring shownNextTime;
    };
    const Case cases[] = {
        {idEdStepSec, L"01500", s::kStepSec, "01500", L"1500"},
        {idEdStepSec, L"0999", s::kStepSec, "1000", L"1000"},
        {idEdSector, L"", s::kSector, "", L"0"},
        {idEdSector, L"012", s::kSector, "012", L"12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.stored);
        WriteDefaultSettings();
        int result = ShowDialog([&](Dialog& dialog) {
            dialog.Click(idBtMod);
            dialog.SetText(c.id, L"");
            FocusAtEnd(dialog, c.id);
            dialog.Type(c.typed);
            dialog.Click(idBtOk);
            EXPECT_TRUE(dialog.WaitClosed());
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(GetSetting(c.name), c.stored);
        result = ShowDialog([&](Dialog& dialog) {
            EXPECT_EQ(dialog.Text(c.id), c.shownNextTime);
            dialog.PressCloseButton();
        });
        EXPECT_EQ(result, 0);
    }
}

TEST_F(BehaviourTest, CardOperationAfterASaveUsesTheNewValues) {
    WriteDefaultSettings();
    const int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        FocusAtEnd(dialog, idCbbPort);
        dialog.Type(L"\b4");
        EXPECT_EQ(dialog.Selection(idCbbPort), 3);
        dialog.Click(idCbbRate);
        dialog.Key(VK_DOWN);  // the rate is chosen from the list
        EXPECT_EQ(dialog.Text(idCbbRate), L"14400");
        dialog.Click(idBtOk);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(s::kPort), "3");
    dbl_reset();
    EXPECT_EQ(TheHost().lib->api().vbInitCom(), 0);
    EXPECT_EQ(std::string(dbl_log()), "WT_init(3,14400,7,5A3C96E1B74D2F08C5A17E3900)\nWT_exit\n");
}

// The write failure: a store whose key cannot be created, and one that may
// be read but not written.
TEST_F(BehaviourTest, StoreThatCannotBeWritten) {
    struct Case {
        const char* name;
        bool readOnlyKey;  // else: the parent is volatile, so the settings key cannot be created under it
        ControlId button;
        bool editFirst;
    };
    const Case cases[] = {
        {"KeyCannotBeCreated", false, idBtCancel, false},
        {"KeyIsReadOnly", true, idBtOk, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteSettings();
        HKEY key = nullptr;
        if (c.readOnlyKey) {
            WriteDefaultSettings();
            SetSetting(s::kPort, "5");
            ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velbrook\\Lib", 0, WRITE_DAC, &key), ERROR_SUCCESS);
            char aclBuffer[256];
            PACL acl = reinterpret_cast<PACL>(aclBuffer);
            InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION);
            SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
            PSID everyone = nullptr;
            AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
            AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC | DELETE, everyone);
            SECURITY_DESCRIPTOR descriptor;
            InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
            SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
            ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor), ERROR_SUCCESS);
            FreeSid(everyone);
        } else {
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velbrook", 0, nullptr, REG_OPTION_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
        const Store before = ReadStore();
        bool viewModeAtMessage = false;
        const int result = ShowDialog([&](Dialog& dialog) {
            if (c.readOnlyKey) {
                EXPECT_EQ(dialog.Selection(idCbbPort), 5) << "it can still be read";
            }
            if (c.editFirst) dialog.Click(idBtMod);
            dialog.Click(c.button);
            for (int waited = 0; waited < 3000 && !dialog.MessageBoxShown(); waited += 10) Sleep(10);
            viewModeAtMessage = !dialog.EditMode();
            ExpectMessage(dialog.AnswerMessageBox(), kWriteFailedText, dialog.Window());
            EXPECT_TRUE(dialog.WaitClosed()) << "the dialog closes after the message";
        });
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(viewModeAtMessage);
        EXPECT_EQ(ReadStore(), before) << "nothing written";
        EXPECT_TRUE(IsWindowEnabled(TheHost().window));
    }
}

}  // namespace
}  // namespace ykt::test
