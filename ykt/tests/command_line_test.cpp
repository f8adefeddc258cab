// ykt's command line: what each valid line asks for, and which lines are
// usage errors (those never reach the library).
#include <gtest/gtest.h>

#include "CommandLine.h"

namespace ykt::cli {
namespace {

struct Good {
    std::vector<std::string> args;
    Action action;
    bool beep;
    std::string card;
    std::int32_t amount;
    std::int32_t closeAfter;
};

TEST(YktCommandLine, ValidLines) {
    const Good cases[] = {
        {{"probe"}, Action::Probe, false, "", 0, -1},
        {{"read"}, Action::Read, false, "", 0, -1},
        {{"read", "--beep"}, Action::Read, true, "", 0, -1},
        {{"deduct", "000000012", "250"}, Action::Deduct, false, "000000012", 250, -1},
        {{"deduct", "3052741689", "0"}, Action::Deduct, false, "3052741689", 0, -1},
        {{"deduct", "1", "2147483647"}, Action::Deduct, false, "1", 2147483647, -1},
        {{"settings"}, Action::Settings, false, "", 0, -1},
        {{"settings", "--close-after", "3000"}, Action::Settings, false, "", 0, 3000},
        {{"show"}, Action::Show, false, "", 0, -1},
        {{"doctor"}, Action::Doctor, false, "", 0, -1},
        {{"verify"}, Action::Verify, false, "", 0, -1},
        {{"setup"}, Action::Setup, false, "", 0, -1},
        {{"--help"}, Action::Help, false, "", 0, -1},
        {{"-h"}, Action::Help, false, "", 0, -1},
        {{"deduct", "--help"}, Action::Help, false, "", 0, -1},
    };
    for (const Good& c : cases) {
        std::string error;
        const auto command = Parse(c.args, error);
        ASSERT_TRUE(command) << c.args[0] << ": " << error;
        EXPECT_EQ(command->action, c.action) << c.args[0];
        EXPECT_EQ(command->beep, c.beep) << c.args[0];
        EXPECT_EQ(command->cardNumber, c.card) << c.args[0];
        EXPECT_EQ(command->amount, c.amount) << c.args[0];
        EXPECT_EQ(command->closeAfterMs, c.closeAfter) << c.args[0];
        EXPECT_FALSE(command->usersMaySave) << c.args[0];
    }
    std::string error;
    const auto setup = Parse({"setup", "--users-may-save"}, error);
    ASSERT_TRUE(setup) << error;
    EXPECT_EQ(setup->action, Action::Setup);
    EXPECT_TRUE(setup->usersMaySave);
}

TEST(YktCommandLine, UsageErrorsSayWhatIsWrong) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "缺少命令"},
        {{"pay"}, "未知命令：pay"},
        {{"PROBE"}, "未知命令"},
        {{"probe", "now"}, "参数过多：now"},
        {{"show", "all"}, "参数过多"},
        {{"doctor", "--all"}, "参数过多：--all"},
        {{"read", "--loud"}, "未知选项：--loud"},
        {{"setup", "--users"}, "未知选项：--users"},
        {{"setup", "--users-may-save", "--users-may-save"}, "--users-may-save"},
        {{"setup", "all"}, "参数过多：all"},
        {{"verify", "Vb_Ykt.dll"}, "参数过多：Vb_Ykt.dll"},
        {{"read", "--beep", "--beep"}, "--beep"},
        {{"read", "12"}, "参数过多：12"},
        {{"deduct"}, "缺少卡号和金额"},
        {{"deduct", "000000012"}, "缺少金额"},
        {{"deduct", "000000012", "2.50"}, "金额应为以分为单位的非负整数：2.50"},
        {{"deduct", "000000012", "-250"}, "非负整数"},
        {{"deduct", "000000012", "abc"}, "非负整数"},
        {{"deduct", "000000012", ""}, "非负整数"},
        {{"deduct", "000000012", "2147483648"}, "金额超出范围"},
        {{"deduct", "000000012", "250", "x"}, "参数过多：x"},
        {{"deduct", "12a", "250"}, "卡号应为 1 到 10 位数字"},
        {{"deduct", "12345678901", "250"}, "卡号"},
        {{"settings", "--close-after"}, "毫秒"},
        {{"settings", "--close-after", "soon"}, "毫秒"},
        {{"settings", "--wait"}, "未知选项"},
    };
    for (const auto& [args, message] : cases) {
        std::string error;
        EXPECT_FALSE(Parse(args, error)) << (args.empty() ? "(none)" : args.back());
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
}

TEST(YktTexts, ExitStatusAmountsAndBalances) {
    EXPECT_EQ(ExitStatus(0), kExitOk);
    EXPECT_EQ(ExitStatus(-1), kExitUnusable);
    EXPECT_EQ(ExitStatus(1), kExitFailed);
    EXPECT_EQ(ExitStatus(7), kExitFailed);

    EXPECT_EQ(FormatHundredths(0), "0.00");
    EXPECT_EQ(FormatHundredths(5), "0.05");
    EXPECT_EQ(FormatHundredths(250), "2.50");
    EXPECT_EQ(FormatHundredths(2147483647), "21474836.47");
    EXPECT_EQ(FormatHundredths(-5), "-0.05");

    const auto balance = SplitBalance("97.50,1");
    ASSERT_TRUE(balance);
    EXPECT_EQ(balance->amount, "97.50");
    EXPECT_EQ(balance->fourth, "1");
    EXPECT_FALSE(SplitBalance("0,0"));  // the library's "no balance read"
    EXPECT_FALSE(SplitBalance(""));

    EXPECT_EQ(MaskPassword("00490050"), "******");
    EXPECT_EQ(MaskPassword(""), "（未设置）");

    const struct {
        const char* key;
        const char* shown;
    } keys[] = {
        {"5A3C96E1B74D2F08C5A17E39", "5A3C****************7E39"},
        {"5A3C96E1B74D", "5A3C****B74D"},
        {"5A3C96E1B74", "***********"},  // too short to show any of it
        {"", ""},
    };
    for (const auto& k : keys) EXPECT_EQ(MaskKey(k.key), k.shown) << k.key;
}

}  // namespace
}  // namespace ykt::cli
