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
#include "Setup.h"
#include "Verify.h"
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
        // Notepad on XP and `type` read a UTF-8 file without a byte-order
        // mark as GBK. A file gets one at its start; pipes, and a file being
        // appended to, do not.
        if (GetFileType(handle) == FILE_TYPE_DISK) {
            LONG high = 0;
            if (SetFilePointer(handle, 0, &high, FILE_CURRENT) == 0 && high == 0)
                WriteFile(handle, "\xEF\xBB\xBF", 3, &written, nullptr);
        }
        WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

void Out(const std::string& text) { Write(STD_OUTPUT_HANDLE, text); }
void Err(const std::string& text) { Write(STD_ERROR_HANDLE, text); }

// ---- the library, as a host loads it --------------------------------------

using Exports = VbYktExports;

// ykt loads only what lies beside it. Windows would otherwise also take a
// DLL from the current folder or from PATH: a stray irdll.dll there would be
// the reader a technician tests.
void NarrowDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    // Windows 8 and later, and 7 with KB2533623: the program's folder and system32 only.
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) return;
    // Windows XP SP1 and later: at least not the current folder.
    SetDllDirectoryW(L"");
}

class Library {
public:
    // The vendor libraries first, by full path from ykt's own folder, so that
    // the library's imports bind to them and to nothing found elsewhere.
    Library() {
        const std::wstring folder = ykt::doctor::OwnFolder();
        if (folder.empty()) {
            Err("无法确定 ykt.exe 所在的目录，不加载读卡库。\n");
            return;
        }
        for (const wchar_t* name : {L"Vb_Ykt.dll", L"irdll.dll", L"BCIdll.dll"}) {
            if (GetFileAttributesW((folder + name).c_str()) == INVALID_FILE_ATTRIBUTES) {
                Err(Utf8(name) + " 不在 ykt.exe 所在的目录 " + Utf8(folder) +
                    " 中。\nVb_Ykt.dll 和读卡器厂商的 irdll.dll、BCIdll.dll 必须和 ykt.exe 放在同一目录；"
                    "ykt 不使用当前目录或其他目录中的副本。\n");
                return;
            }
        }
        for (const wchar_t* name : {L"irdll.dll", L"BCIdll.dll"}) {
            const std::wstring vendor = folder + name;
            HMODULE module = LoadLibraryW(vendor.c_str());
            if (!module) {
                const DWORD error = GetLastError();
                Err("无法加载 " + Utf8(vendor) + "（Windows 错误 " + std::to_string(error) +
                    "）。\n请运行 ykt doctor 检查。\n");
                return;
            }
            vendors_[vendorCount_++] = module;
        }
        const std::wstring path = folder + L"Vb_Ykt.dll";
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
        while (vendorCount_ > 0) FreeLibrary(vendors_[--vendorCount_]);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    bool loaded() const { return module_ != nullptr; }
    const Exports& api() const { return api_; }

private:
    HMODULE module_ = nullptr;
    HMODULE vendors_[2] = {};
    int vendorCount_ = 0;
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

// ---- the commands -----------------------------------------------------------

int Probe(const Exports& api) {
    const int exist = api.vbYktExist();
    Out("读卡库已加载：vbYktExist" + Code(exist) + "\n");
    using ykt::doctor::StoredSetting;
    Out("保存的设置：串口 " + StoredSetting(ykt::setting::kPort) + "，波特率 " + StoredSetting(ykt::setting::kRate) +
        "，扇区号 " + StoredSetting(ykt::setting::kSector) + "\n");
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
        // A failure may come after the reader took the money (a fault on the
        // way back): the card's balance is not known.
        Out("扣款未确认成功：卡号 " + command.cardNumber + "，金额 " + amount + Code(result) + "\n" +
            "（多半是读卡器上没有这张卡、卡号不符、余额不足或读卡器未应答，卡上没有扣款；但读卡器在扣款途中出错时，"
            "卡上也可能已经扣了。再扣之前，先在一卡通系统中查这张卡的消费记录。）\n");
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
    NarrowDllSearch();
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
    if (command->action == Action::Verify) return ykt::verify::Run(Out, Err);
    if (command->action == Action::Setup) return ykt::setup::Run(Out, Err, command->usersMaySave);
    if (command->action == Action::Show) {
        Out(ykt::doctor::SimulatorWarning());
        return ykt::doctor::Show(Out, Err);
    }
    Library library;
    if (!library.loaded()) return kExitFailed;
    Out(ykt::doctor::SimulatorWarning());
    if (command->action == Action::Probe) return Probe(library.api());
    if (command->action == Action::Read) return Read(library.api(), command->beep);
    if (command->action == Action::Deduct) return Deduct(library.api(), *command);
    return ShowSettings(library.api(), *command);
}
