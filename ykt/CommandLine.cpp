#include "CommandLine.h"

#include "core/card/CardTexts.h"
#include "core/settings/SettingsRules.h"

namespace ykt::cli {

namespace {

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// Decimal digits within [0, INT32_MAX].
bool ParseCount(const std::string& text, std::int32_t& value) {
    if (!AllDigits(text)) return false;
    const std::optional<std::int32_t> parsed = ParseInt32(text);
    if (!parsed) return false;
    value = *parsed;
    return true;
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "/?" || arg == "help"; }

}  // namespace

std::optional<Command> Parse(const std::vector<std::string>& args, std::string& error) {
    Command command;
    if (args.empty()) {
        error = "缺少命令";
        return std::nullopt;
    }
    for (const auto& arg : args)
        if (IsHelp(arg)) return command;  // Action::Help

    const std::string& name = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    auto tooMany = [&](std::size_t allowed) {
        if (rest.size() <= allowed) return false;
        error = "参数过多：" + rest[allowed];
        return true;
    };

    if (name == "probe" || name == "show" || name == "doctor" || name == "verify") {
        if (tooMany(0)) return std::nullopt;
        command.action = name == "probe"  ? Action::Probe
                         : name == "show" ? Action::Show
                         : name == "verify" ? Action::Verify
                                            : Action::Doctor;
        return command;
    }
    if (name == "read") {
        command.action = Action::Read;
        for (const auto& arg : rest) {
            if (arg == "--beep" && !command.beep) {
                command.beep = true;
            } else {
                error = arg.rfind("-", 0) == 0 && arg != "--beep" ? "未知选项：" + arg : "参数过多：" + arg;
                return std::nullopt;
            }
        }
        return command;
    }
    if (name == "deduct") {
        command.action = Action::Deduct;
        if (rest.size() < 2) {
            error = rest.empty() ? "deduct 缺少卡号和金额" : "deduct 缺少金额";
            return std::nullopt;
        }
        if (tooMany(2)) return std::nullopt;
        if (!AllDigits(rest[0]) || rest[0].size() > 10) {
            error = "卡号应为 1 到 10 位数字：" + rest[0];
            return std::nullopt;
        }
        if (!ParseCount(rest[1], command.amount)) {
            error = AllDigits(rest[1]) ? "金额超出范围：" + rest[1]
                                       : "金额应为以分为单位的非负整数：" + rest[1];
            return std::nullopt;
        }
        command.cardNumber = rest[0];
        return command;
    }
    if (name == "journal") {
        command.action = Action::Journal;
        for (const auto& arg : rest) {
            if (arg == "--unconfirmed" && !command.unconfirmedOnly) {
                command.unconfirmedOnly = true;
            } else if (command.year == 0 && arg.size() == 7 && arg[4] == '-' && AllDigits(arg.substr(0, 4)) &&
                       AllDigits(arg.substr(5)) && *ParseInt32(arg.substr(5)) >= 1 && *ParseInt32(arg.substr(5)) <= 12) {
                command.year = *ParseInt32(arg.substr(0, 4));
                command.month = *ParseInt32(arg.substr(5));
            } else {
                error = arg.rfind("-", 0) == 0 && arg != "--unconfirmed" ? "未知选项：" + arg
                        : command.year == 0 ? "月份应写成 YYYY-MM，例如 2024-05：" + arg
                                            : "参数过多：" + arg;
                return std::nullopt;
            }
        }
        return command;
    }
    if (name == "setup") {
        command.action = Action::Setup;
        for (const auto& arg : rest) {
            if (arg == "--users-may-save" && !command.usersMaySave) {
                command.usersMaySave = true;
            } else {
                error = arg.rfind("-", 0) == 0 && arg != "--users-may-save" ? "未知选项：" + arg : "参数过多：" + arg;
                return std::nullopt;
            }
        }
        return command;
    }
    if (name == "settings") {
        command.action = Action::Settings;
        if (rest.empty()) return command;
        if (rest[0] != "--close-after") {
            error = (rest[0].rfind("-", 0) == 0 ? "未知选项：" : "参数过多：") + rest[0];
            return std::nullopt;
        }
        if (rest.size() < 2 || !ParseCount(rest[1], command.closeAfterMs)) {
            error = "--close-after 需要毫秒数";
            return std::nullopt;
        }
        if (tooMany(2)) return std::nullopt;
        return command;
    }
    error = "未知命令：" + name;
    return std::nullopt;
}

std::string UsageText() {
    return "用法：ykt doctor | probe | read [--beep] | deduct <卡号> <金额(分)> | journal [YYYY-MM] [--unconfirmed] | "
           "settings | show | setup [--users-may-save] | verify | --help\n";
}

std::string HelpText() {
    return "ykt：一卡通读卡器的控制台工具，通过本目录中的 Vb_Ykt.dll 读卡和扣款。\n"
           "\n"
           "  ykt doctor                  逐项检查读卡库、读卡器驱动、注册表中的设置和读卡器，并说明如何处理\n"
           "                              （退出状态：0 没有错误，可以有警告；1 发现错误）\n"
           "  ykt probe                   检查读卡库能否加载，并用保存的设置打开、关闭读卡器\n"
           "  ykt read [--beep]           读取读卡器上的卡号（--beep：读卡器鸣响）\n"
           "  ykt deduct <卡号> <金额>    从卡上扣款，真的扣钱，只在测试卡上用；金额以分为单位，例如 250 表示 2.50 元\n"
           "  ykt settings [--close-after <毫秒>]\n"
           "                              打开参数设置窗口（--close-after：到时自动关闭，供脚本使用）\n"
           "  ykt show                    显示注册表中保存的设置（数据库密码不显示，通信密码只显示前后各 4 位）\n"
           "  ykt journal [YYYY-MM] [--unconfirmed]\n"
           "                              显示某月（默认本月）的扣款记录，每笔一行，最后是合计\n"
           "                              （--unconfirmed：只显示未确认的扣款）\n"
           "  ykt setup [--users-may-save]\n"
           "                              以管理员身份运行：建立设置，只补上缺少的值（用设置窗口的默认值），已有的值不改；\n"
           "                              --users-may-save：同时允许 Users 组修改设置，收银程序的设置窗口不用管理员也能保存\n"
           "  ykt verify                  按同一目录中的 SHA256SUMS 检查安装包中的每个文件，指出不符的文件\n"
           "  ykt --help                  显示本帮助\n"
           "\n"
           "退出状态：0 成功；1 失败（未读到卡、扣款被拒绝、读卡库无法加载）；\n"
           "          2 卡片在一卡通系统中不可用；64 命令行错误（不加载读卡库）。\n";
}

int ExitStatus(int libraryResult) {
    if (libraryResult == 0) return kExitOk;
    if (libraryResult == -1) return kExitUnusable;
    return kExitFailed;
}

std::string FormatHundredths(std::int64_t hundredths) { return MoneyText(hundredths); }

std::optional<Balance> SplitBalance(const std::string& text) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos || text.find('.') > comma) return std::nullopt;
    return Balance{text.substr(0, comma), text.substr(comma + 1)};
}

std::string MaskPassword(const std::string& stored) { return stored.empty() ? "（未设置）" : "******"; }

std::string MaskKey(const std::string& shown) {
    if (shown.size() < 12) return std::string(shown.size(), '*');
    return shown.substr(0, 4) + std::string(shown.size() - 8, '*') + shown.substr(shown.size() - 4);
}

}  // namespace ykt::cli
