// ykt.exe as scripts run it: exit statuses and what it prints (UTF-8 when
// redirected), usage errors without the library, and probe, read and deduct
// on the till (the real Vb_Ykt.dll over the reader simulators).
#include <gtest/gtest.h>

#include <windows.h>

#include "TillSupport.h"
#include "HostLib.h"
#include "SimCard.h"

namespace ykt::till {
namespace {

using ykt::test::SetSetting;
using ykt::test::WriteDefaultSettings;

// Registry texts are stored through the ANSI functions in code page 936.
std::string Gbk(const std::string& utf8) {
    const std::wstring wide = Wide(utf8);
    std::string out(wide.size() * 2, '\0');
    out.resize(static_cast<std::size_t>(WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()),
                                                            out.data(), static_cast<int>(out.size()), nullptr,
                                                            nullptr)));
    return out;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ykt.exe alone in a folder: any attempt to load the library would fail
// there, so a usage status proves the library was not loaded.
TEST(YktAlone, UsageErrorsNeverLoadTheLibrary) {
    TempDir lonely;
    const std::wstring exe = lonely / L"ykt.exe";
    ASSERT_TRUE(CopyFileW((TillDir() + L"ykt.exe").c_str(), exe.c_str(), FALSE));
    const std::vector<std::string> usage[] = {
        {}, {"pay"}, {"deduct", "000000012"}, {"deduct", "000000012", "2.50"}, {"read", "--beep", "x"},
    };
    for (const auto& args : usage) {
        const RunResult run = RunProgram(exe, args);
        EXPECT_EQ(run.exitCode, 64u) << run.err;
        EXPECT_TRUE(Has(run.err, "用法：ykt")) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const RunResult help = RunProgram(exe, {"--help"});
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_TRUE(Has(help.out, "退出状态")) << help.out;
    EXPECT_TRUE(Has(help.out, "ykt doctor")) << help.out;

    // A valid command would load it, and says why it cannot.
    const RunResult probe = RunProgram(exe, {"probe"});
    EXPECT_EQ(probe.exitCode, 1u);
    EXPECT_TRUE(Has(probe.err, "Vb_Ykt.dll 不在 ykt.exe 所在的目录")) << probe.err;
}

class YktTill : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void Reset() {
        WriteDefaultSettings();
        WriteAll(state_, sim::FormatState(sim::CardState()));
    }
    void SetState(const std::string& from, const std::string& to) {
        std::string text = ReadAll(state_);
        text.replace(text.find(from), from.size(), to);
        WriteAll(state_, text);
    }
    RunResult Ykt(const std::vector<std::string>& args) { return RunProgram(TillDir() + L"ykt.exe", args); }

    TempDir dir_;
    std::wstring state_ = dir_ / L"card.txt";
    ScopedEnv env_{L"YKT_SIM_STATE", state_.c_str()};
    ScopedEnv noDelay_{L"YKT_SIM_DELAY_MS", L"0"};
};

struct Session {
    const char* what;
    const char* setting;  // name=value stored before the run, or nullptr
    const char* stateFrom;
    const char* stateTo;
    std::vector<std::string> args;
    DWORD exitCode;
    const char* printed;
};

TEST_F(YktTill, ResultsBecomeExitStatuses) {
    const Session sessions[] = {
        {"probe", nullptr, nullptr, nullptr, {"probe"}, 0, "vbInitCom（结果 0）"},
        {"probe, key too short", "YKT_KEY=5A3C96E1B74D2F08C5A17E3", nullptr, nullptr, {"probe"}, 1,
         "vbInitCom（结果 1）"},
        {"read card code", nullptr, nullptr, nullptr, {"read"}, 0, "卡号：000000012\n读卡成功（结果 0）"},
        {"read serial number", "YKT_CODEORNO=1", nullptr, nullptr, {"read", "--beep"}, 0, "卡号：3052741689"},
        {"no card", nullptr, "present=1", "present=0", {"read"}, 1, "读卡失败"},
        {"key not the reader's", "YKT_KEY=5A3C96E1B74D2F08C5A17E38", nullptr, nullptr, {"read"}, 1,
         "（结果 1）"},
        {"state check, usable", "YKT_DBSATAUS=1", "card_state=0", "card_state=1", {"read"}, 0, "读卡成功"},
        {"state check, unusable", "YKT_DBSATAUS=1", "card_state=0", "card_state=2", {"read"}, 2,
         "卡号：000000012\n此卡在一卡通系统中不可用"},
        {"unusable but check off", nullptr, "card_state=0", "card_state=2", {"read"}, 0, "读卡成功"},
        {"deduct", nullptr, nullptr, nullptr, {"deduct", "000000012", "250"}, 0,
         "余额：97.50 元（卡片计数 1）"},
        {"deduct by serial number", "YKT_CODEORNO=1", nullptr, nullptr, {"deduct", "3052741689", "10000"}, 0,
         "余额：0.00 元"},
        {"deduct another card", nullptr, nullptr, nullptr, {"deduct", "13", "250"}, 1, "扣款未确认成功"},
        {"deduct above balance", nullptr, nullptr, nullptr, {"deduct", "12", "10001"}, 1, "扣款未确认成功"},
    };
    for (const Session& s : sessions) {
        Reset();
        if (s.setting) {
            const std::string text = s.setting;
            SetSetting(text.substr(0, text.find('=')).c_str(), text.substr(text.find('=') + 1));
        }
        if (s.stateFrom) SetState(s.stateFrom, s.stateTo);
        const RunResult run = Ykt(s.args);
        EXPECT_EQ(run.exitCode, s.exitCode) << s.what << "\n" << run.out << run.err;
        EXPECT_TRUE(Has(run.out, s.printed)) << s.what << "\n" << run.out << run.err;
    }
}

TEST_F(YktTill, DeductionReachesTheCardAndTheNextRead) {
    ASSERT_EQ(Ykt({"deduct", "000000012", "250"}).exitCode, 0u);
    const RunResult second = Ykt({"deduct", "12", "750"});
    EXPECT_EQ(second.exitCode, 0u);
    EXPECT_TRUE(Has(second.out, "余额：90.00 元（卡片计数 2）")) << second.out;
    std::string error;
    const auto stored = sim::ParseState(ReadAll(state_), error);
    ASSERT_TRUE(stored) << error;
    EXPECT_EQ(stored->balance, 9000);
    EXPECT_EQ(stored->fourth, 2);
}

TEST_F(YktTill, ShowPrintsTheStoreWithoutThePassword) {
    SetSetting("YKT_DBPASS", "00490050");
    SetSetting("YKT_DBIPADDR", Gbk("收费服务器"));
    // Longer than any fixed buffer, and a value of another type: both shown for what they are.
    const std::string longName(3000, 'n');
    SetSetting("YKT_DBNAME", longName);
    ykt::test::SetRawSetting("YKT_SECTOR", REG_DWORD, std::string("\x07\x00\x00\x00", 4));
    const RunResult run = Ykt({"show"});
    EXPECT_EQ(run.exitCode, 0u);
    // Each value under the settings dialog's label.
    for (const std::string& line : std::vector<std::string>{"YKT_PORT     通信COM端口：0（COM1）", "通讯波特率：9600",
                                   "通信密码：5A3C****************7E39", "读取卡序号 / 读取卡编号：0（读取卡编号，9 位）",
                                   "一卡通服务器IP地址或计算机名：收费服务器",  // code page 936 in the registry
                                   "扇区号：（类型为 REG_DWORD，不是字符串", "数据库名称：" + longName + "\n",
                                   "数据库密码：******"})
        EXPECT_TRUE(Has(run.out, line)) << line << "\n" << run.out;
    EXPECT_FALSE(Has(run.out, "00490050")) << run.out;
    EXPECT_FALSE(Has(run.out, ykt::kDefaultKey)) << "the whole key shown:\n" << run.out;
    ykt::test::DeleteSettings();
    const RunResult none = Ykt({"show"});
    EXPECT_EQ(none.exitCode, 1u);
    EXPECT_TRUE(Has(none.err, "没有保存的设置")) << none.err;
}

// Notepad on XP reads UTF-8 without a byte-order mark as GBK: output going to
// a file starts with one, once, and the usage text on stderr too.
TEST_F(YktTill, OutputToAFileStartsWithAByteOrderMark) {
    const std::string bom = "\xEF\xBB\xBF";
    SetSetting("YKT_DBPASS", "00490050");
    const RunResult doctor = Ykt({"doctor"});
    EXPECT_EQ(doctor.out.substr(0, 3), bom) << doctor.out.substr(0, 40);
    // What a technician pastes: no whole key, no password length.
    EXPECT_FALSE(Has(doctor.out, ykt::kDefaultKey)) << doctor.out;
    EXPECT_TRUE(Has(doctor.out, "5A3C****************7E39")) << doctor.out;
    EXPECT_FALSE(Has(doctor.out, "个字节")) << doctor.out;
    EXPECT_EQ(doctor.out.find(bom, 3), std::string::npos) << "a second mark in the middle";
    const RunResult usage = Ykt({"pay"});
    EXPECT_EQ(usage.err.substr(0, 3), bom) << usage.err;
    EXPECT_EQ(usage.out, "");
}

}  // namespace
}  // namespace ykt::till
