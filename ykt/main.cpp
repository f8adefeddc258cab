// ykt.exe: a console host of Vb_Ykt.dll for technicians and scripts. It loads
// the library from its own folder as a till program does (full path, exports
// by ordinal, host strings from the process heap) and prints in Chinese what
// the library answered, with its result code.
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Doctor.h"
#include "JournalCommand.h"
#include "Vb_Ykt.h"
#include "core/settings/SettingsRules.h"
#include "core/settings/SettingsStore.h"
#include "platform/WideText.h"

namespace {

using namespace ykt::cli;

// ---- output: UTF-16 to a console, UTF-8 bytes to files and pipes ----------

std::wstring Wide(const std::string& text, UINT codePage) { return ykt::ToWide(text, codePage); }

std::string Utf8(const std::wstring& text) { return ykt::FromWide(text, CP_UTF8); }

// Library and registry texts are code page 936 bytes.
std::string FromGbk(const std::string& text) { return Utf8(Wide(text, 936)); }

void Write(DWORD which, const std::string& utf8) {
    HANDLE handle = GetStdHandle(which);
    if (!handle || handle == INVALID_HANDLE_VALUE || utf8.empty()) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring wide = Wide(utf8, CP_UTF8);
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

void Out(const std::string& text) { Write(STD_OUTPUT_HANDLE, text); }
void Err(const std::string& text) { Write(STD_ERROR_HANDLE, text); }

// ---- the library, as a host loads it --------------------------------------

using Exports = VbYktExports;

class Library {
public:
    Library() {
        const std::wstring path = ykt::doctor::OwnFolder() + L"Vb_Ykt.dll";
        module_ = LoadLibraryW(path.c_str());
        if (!module_) {
            const DWORD error = GetLastError();
            Err("无法加载 " + Utf8(path) + "（Windows 错误 " + std::to_string(error) +
                "）。\n请确认 Vb_Ykt.dll、irdll.dll 和 BCIdll.dll 都在 ykt.exe 所在的目录中。\n");
            return;
        }
        if (!vbYktBindExports(module_, &api_)) {
            Err("Vb_Ykt.dll 缺少导出函数（序号 1 到 7），不是本工具所需的版本。\n");
            FreeLibrary(module_);
            module_ = nullptr;
        }
    }
    ~Library() {
        if (module_) FreeLibrary(module_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return module_ != nullptr; }
    const Exports& api() const { return api_; }

private:
    HMODULE module_ = nullptr;
    Exports api_{};
};

std::string HostText(const char* text) {
    return text ? std::string(text, static_cast<std::size_t>(reinterpret_cast<const std::int32_t*>(text)[-1]))
                : std::string();
}

// A host string's text as UTF-8, released.
std::string TakeHostString(char* text) {
    const std::string utf8 = FromGbk(HostText(text));
    vb_ykt_release(text);
    return utf8;
}

std::string Code(int result) { return "（结果 " + std::to_string(result) + "）"; }

// ---- the settings, read directly --------------------------------------------

namespace setting = ykt::setting;

struct Settings {
    bool keyExists = false;
    HKEY key = nullptr;

    Settings() {
        keyExists = RegOpenKeyExA(HKEY_LOCAL_MACHINE, ykt::kSettingsKeyPath, 0, KEY_READ, &key) == ERROR_SUCCESS;
    }
    ~Settings() {
        if (key) RegCloseKey(key);
    }
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // The stored text as UTF-8; nothing when the value is missing or not a string.
    std::optional<std::string> Get(const char* setting) const {
        if (!keyExists) return std::nullopt;
        const std::wstring name = Wide(setting, CP_ACP);
        wchar_t buffer[1024];
        DWORD size = sizeof buffer - sizeof(wchar_t), type = 0;
        if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::nullopt;
        std::wstring text(buffer, size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.pop_back();
        return Utf8(text);
    }
};

std::string PortText(const std::string& stored) {
    const std::string t = ykt::Trim(stored);
    if (t.empty() || t.size() > 2 || t.find_first_not_of("0123456789") != std::string::npos) return t;
    return t + "（COM" + std::to_string(*ykt::ParseInt32(t) + 1) + "）";
}

std::string YesNo(const std::string& stored) { return stored + (ykt::Trim(stored) == "1" ? "（是）" : "（否）"); }

int Show() {
    Settings settings;
    if (!settings.keyExists) {
        Err("注册表中没有保存的设置（HKEY_LOCAL_MACHINE\\SOFTWARE\\Velbrook\\Lib 不存在）。\n"
            "请先用 ykt settings 打开参数设置窗口保存设置。\n");
        return kExitFailed;
    }
    struct Row {
        const char* name;
        const char* label;
        std::string (*show)(const std::string&);
    };
    static const Row rows[] = {
        {setting::kPort, "串口", PortText},
        {setting::kRate, "波特率", nullptr},
        {setting::kSector, "扇区号", nullptr},
        {setting::kKey, "通信密码", nullptr},
        {setting::kCodeOrNo, "卡号类型",
         [](const std::string& s) { return s + (ykt::Trim(s) == "1" ? "（卡序号，10 位）" : "（卡编号，9 位）"); }},
        {setting::kAuto, "自动读卡", YesNo},
        {setting::kStepSec, "读卡间隔（毫秒）", nullptr},
        {setting::kDbStatus, "检查卡状态", YesNo},
        {setting::kDbIpAddr, "数据库服务器", nullptr},
        {setting::kDbName, "数据库名", nullptr},
        {setting::kDbUser, "数据库用户", nullptr},
        {setting::kDbPass, "数据库密码", [](const std::string& s) { return MaskPassword(s); }},
    };
    Out("HKEY_LOCAL_MACHINE\\SOFTWARE\\Velbrook\\Lib\n");
    for (const Row& row : rows) {
        const auto value = settings.Get(row.name);
        const bool password = std::string_view(row.name) == setting::kDbPass;
        const std::string shown = !value       ? (password ? MaskPassword("") : "（未设置）")
                                  : row.show ? row.show(*value)
                                             : *value;
        Out("  " + std::string(row.name) + std::string(13 - std::strlen(row.name), ' ') + row.label + "：" +
            shown + "\n");
    }
    return kExitOk;
}

// ---- the commands -----------------------------------------------------------

int Probe(const Exports& api) {
    const int exist = api.vbYktExist();
    Out("读卡库已加载：vbYktExist" + Code(exist) + "\n");
    Settings settings;
    const auto port = settings.Get(setting::kPort), rate = settings.Get(setting::kRate),
               sector = settings.Get(setting::kSector);
    Out("保存的设置：串口 " + (port ? PortText(*port) : "（未设置）") + "，波特率 " + rate.value_or("（未设置）") +
        "，扇区号 " + sector.value_or("（未设置）") + "\n");
    const int init = api.vbInitCom();
    if (init == 0)
        Out("已按保存的设置打开并关闭读卡器：vbInitCom" + Code(init) +
            "\n（读卡器是否应答要读卡时才能知道：请用 ykt read 试读。）\n");
    else
        Out("无法打开读卡器：通信密码未设置或不是 24 位，或设置不存在：vbInitCom" + Code(init) + "\n");
    return exist == 0 ? ExitStatus(init) : kExitFailed;
}

int Read(const Exports& api, bool beep) {
    char* number = nullptr;
    const int result = beep ? api.vbReadCardBeep(&number) : api.vbReadCardNo(&number);
    const std::string text = FromGbk(HostText(number));
    vb_ykt_release(number);
    if (result == 0) {
        Out("卡号：" + text + "\n读卡成功" + Code(result) + "\n");
    } else if (result == -1) {
        Out("卡号：" + text + "\n此卡在一卡通系统中不可用（挂失、冻结或已注销），请勿收款" + Code(result) + "\n");
    } else {
        Out("读卡失败：读卡器上没有卡、卡片无法识别或读卡器未应答" + Code(result) + "\n");
    }
    return ExitStatus(result);
}

int Deduct(const Exports& api, const Command& command) {
    char* card = vb_ykt_new_string(command.cardNumber.c_str());
    char* balance = nullptr;
    const int result = api.vbDecCard(card, command.amount, &balance);
    vb_ykt_release(card);
    const std::string text = FromGbk(HostText(balance));
    vb_ykt_release(balance);
    const std::string amount = FormatHundredths(command.amount) + " 元";
    if (result != 0) {
        Out("扣款失败，卡上未扣款：卡号 " + command.cardNumber + "，金额 " + amount + Code(result) + "\n" +
            "（读卡器上没有这张卡、卡号不符、余额不足或读卡器未应答。）\n");
        return kExitFailed;
    }
    Out("扣款成功：卡号 " + command.cardNumber + "，金额 " + amount + Code(result) + "\n");
    if (const auto split = SplitBalance(text))
        Out("余额：" + split->amount + " 元（卡片计数 " + split->fourth + "）  [" + text + "]\n");
    else
        Out("已扣款，但未能读回余额（" + text + "）。请勿重复扣款。\n");
    return kExitOk;
}

// The window the dialog is shown over, and the scripted closing of the dialog.
struct SettingsRun {
    HWND main = nullptr;
    std::int32_t closeAfterMs = -1;
    DWORD seenAt = 0;
    bool seen = false;
    DWORD startedAt = 0;
};
SettingsRun g_run;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    if (window != g_run.main && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && g_run.closeAfterMs >= 0) {
        HWND dialog = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
        const DWORD now = GetTickCount();
        if (dialog && !g_run.seen) {
            g_run.seen = true;
            g_run.seenAt = now;
            Out("设置窗口已打开\n");
        }
        if (dialog && now - g_run.seenAt >= static_cast<DWORD>(g_run.closeAfterMs)) PostMessageW(dialog, WM_CLOSE, 0, 0);
        // A dialog that does not close on request, or never shows, must not
        // hold a script forever.
        if (now - g_run.startedAt >= static_cast<DWORD>(g_run.closeAfterMs) + 15000) {
            Err("设置窗口未按要求关闭，结束 ykt。\n");
            ExitProcess(kExitFailed);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int ShowSettings(const Exports& api, const Command& command) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = L"YktConsoleHost";
    RegisterClassW(&windowClass);
    g_run.main = CreateWindowExW(0, windowClass.lpszClassName, L"ykt 一卡通读卡工具", WS_OVERLAPPEDWINDOW, 0, 0,
                                 640, 480, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!g_run.main) {
        Err("无法创建窗口（Windows 错误 " + std::to_string(GetLastError()) + "）。\n");
        return kExitFailed;
    }
    ShowWindow(g_run.main, SW_SHOWNORMAL);
    UpdateWindow(g_run.main);
    g_run.closeAfterMs = command.closeAfterMs;
    g_run.startedAt = GetTickCount();
    if (command.closeAfterMs >= 0) SetTimer(g_run.main, 1, 100, nullptr);
    const int result = api.vbShowParaForm(g_run.main);
    KillTimer(g_run.main, 1);
    DestroyWindow(g_run.main);
    Out("设置窗口已关闭：vbShowParaForm" + Code(result) + "\n");
    return result == 0 ? kExitOk : kExitFailed;
}

std::vector<std::string> Arguments() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i) args.push_back(Utf8(argv[i]));
    if (argv) LocalFree(argv);
    return args;
}

}  // namespace

int main() {
    std::string error;
    const auto command = Parse(Arguments(), error);
    if (!command) {
        Err("ykt：" + error + "\n" + UsageText());
        return kExitUsage;
    }
    if (command->action == Action::Help) {
        Out(HelpText());
        return kExitOk;
    }
    if (command->action == Action::Doctor) return ykt::doctor::Run(Out, TakeHostString);
    if (command->action == Action::Journal)
        return ShowJournal(Out, Err, command->year, command->month, command->unconfirmedOnly);
    if (command->action == Action::Show) {
        Out(ykt::doctor::SimulatorWarning());
        return Show();
    }
    Library library;
    if (!library.loaded()) return kExitFailed;
    Out(ykt::doctor::SimulatorWarning());
    if (command->action == Action::Probe) return Probe(library.api());
    if (command->action == Action::Read) return Read(library.api(), command->beep);
    if (command->action == Action::Deduct) return Deduct(library.api(), *command);
    return ShowSettings(library.api(), *command);
}
