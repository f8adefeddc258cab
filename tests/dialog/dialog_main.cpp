// The dialog test program: one host process for every case, with a watchdog
// that ends it when a case hangs instead of letting the run hang.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "DialogDriver.h"
#include "HostLib.h"
#include "TestRun.h"

namespace {

// --case-limit=SECONDS raises it where everything runs slower (an emulated CPU).
ULONGLONG g_caseLimitMs = 30000;
volatile ULONGLONG g_deadline = ~0ull;
std::string g_currentCase;

DWORD WINAPI Watchdog(void*) {
    for (;;) {
        Sleep(250);
        if (GetTickCount64() > g_deadline) {
            std::fprintf(stderr, "\nwatchdog: %s did not finish within %llu s; ending the test program\n",
                         g_currentCase.c_str(), g_caseLimitMs / 1000);
            std::fflush(stderr);
            std::fflush(stdout);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
}

class WatchdogListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo& info) override {
        g_currentCase = std::string(info.test_suite_name()) + "." + info.name();
        g_deadline = GetTickCount64() + g_caseLimitMs;
    }
    void OnTestEnd(const testing::TestInfo&) override { g_deadline = ~0ull; }
};

// Wine settings the rig needs, read by wine when a process starts:
// - There is no window manager on the test display: wine manages its windows
//   itself and does not wait for a manager to confirm that a hidden window is
//   gone (seconds per window otherwise).
// - The dialog's font "宋体" (SimSun) is drawn with AR PL UMing, a Song face
//   with the same measures (fonts-arphic-uming), where it is installed.
// Returns whether anything had to be changed.
bool EnsureWineSettings() {
    const struct {
        const wchar_t* key;
        const wchar_t* name;
        const wchar_t* value;
    } settings[] = {
        {L"Software\\Wine\\X11 Driver", L"Managed", L"N"},
        {L"Software\\Wine\\Fonts\\Replacements", L"\u5B8B\u4F53", L"AR PL UMing CN"},
        {L"Software\\Wine\\Fonts\\Replacements", L"SimSun", L"AR PL UMing CN"},
        {L"Control Panel\\Desktop", L"FontSmoothing", L"0"},
    };
    bool changed = false;
    for (const auto& setting : settings) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, setting.key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            continue;
        wchar_t current[64] = L"";
        DWORD size = sizeof current - sizeof(wchar_t);
        DWORD type = 0;
        const bool same = RegQueryValueExW(key, setting.name, nullptr, &type, reinterpret_cast<BYTE*>(current),
                                           &size) == ERROR_SUCCESS &&
                          type == REG_SZ && std::wstring(current) == setting.value;
        if (!same) {
            RegSetValueExW(key, setting.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(setting.value),
                           static_cast<DWORD>((wcslen(setting.value) + 1) * sizeof(wchar_t)));
            changed = true;
        }
        RegCloseKey(key);
    }
    return changed;
}

// --dpi=N: the display's DPI, which wine reads from LogPixels when a process
// starts (the DPI tests run in prefixes of their own). Returns whether it had
// to be changed.
bool EnsureDisplayDpi(DWORD dpi) {
    const struct {
        HKEY root;
        const wchar_t* key;
    } places[] = {{HKEY_CURRENT_USER, L"Control Panel\\Desktop"}, {HKEY_CURRENT_CONFIG, L"Software\\Fonts"}};
    bool changed = false;
    for (const auto& place : places) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(place.root, place.key, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            continue;
        DWORD current = 0, size = sizeof current, type = 0;
        if (RegQueryValueExW(key, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&current), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || current != dpi) {
            RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
            changed = true;
        }
        RegCloseKey(key);
    }
    return changed;
}

// Runs this program again with the same command line, so that the settings
// just written are in force, and returns its exit code.
int RunAgain() {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, GetCommandLineW(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start the test program again\n");
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

int g_requestedDpi = 0;

}  // namespace

int ykt::test::RequestedDpi() { return g_requestedDpi; }

int main(int argc, char** argv) {
    int dpiAwareness = -1;  // as the system decides
    bool prepareOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--case-limit=", 0) == 0) g_caseLimitMs = std::stoull(argument.substr(13)) * 1000;
        if (argument.rfind("--dpi=", 0) == 0) g_requestedDpi = std::stoi(argument.substr(6));
        // The host declares itself DPI-aware, or unaware (wine's default may be either).
        if (argument == "--dpi-aware") dpiAwareness = 1;
        if (argument == "--dpi-unaware") dpiAwareness = 0;
        if (argument == "--prepare") prepareOnly = true;
    }
    bool changed = EnsureWineSettings();
    if (g_requestedDpi > 0 && EnsureDisplayDpi(static_cast<DWORD>(g_requestedDpi))) changed = true;
    // --prepare: only put the settings in place. Wine's desktop process reads
    // the DPI once, when the server starts, so a fresh prefix is prepared by
    // a run of its own before the server that the tests use starts.
    if (prepareOnly) return 0;
    if (changed) return RunAgain();
    if (dpiAwareness >= 0) {
        // Wine makes a process system-aware from its start; a host thread
        // can still declare itself otherwise, as the host's UI thread does.
        using SetContextFn = HANDLE(WINAPI*)(HANDLE);
        const auto setContext = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
        // DPI_AWARENESS_CONTEXT_UNAWARE (-1) and _SYSTEM_AWARE (-2)
        const HANDLE context = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(dpiAwareness ? -2 : -1));
        if (setContext && setContext(context)) ykt::test::SetDriverDpiContext(context);
        else if (dpiAwareness) SetProcessDPIAware();
    }
    testing::InitGoogleTest(&argc, argv);
    ykt::test::SetPatience(static_cast<int>(g_caseLimitMs / 30000));
    testing::UnitTest::GetInstance()->listeners().Append(new WatchdogListener);
    CloseHandle(CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
    ykt::test::HostLib lib(ykt::test::AllocMode::ProcessHeap);
    ykt::test::StartHost(lib);
    return ykt::test::RunSelectedTests();
}
