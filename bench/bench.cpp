// The cost of a call: each card export against its floor, the registry reads
// and vendor calls the operation cannot do without, made directly. The
// doubles are instant and quiet, so what remains is the library's own work.
// Then a load and a free of the library against a DLL without any runtime.
//   call_bench.exe [--runs=7] [--calls=N] [--dialog]
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "DoubleControl.h"
#include "Vb_Ykt.h"
#include "core/settings/SettingsStore.h"
#include "reader/VendorApi.h"

namespace {

using ykt::kSettingsKeyPath;
namespace s = ykt::setting;

void Set(const char* name, const char* value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        std::fprintf(stderr, "bench: cannot write the settings key\n");
        std::exit(2);
    }
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(std::strlen(value) + 1));
    RegCloseKey(key);
}

// One value as the library reads it: open read-only, query, close.
void ReadValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char buffer[256];
    DWORD type = 0, size = sizeof buffer;
    RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
}

const unsigned char kKeyBytes[13] = {0x5A, 0x3C, 0x96, 0xE1, 0xB7, 0x4D, 0x2F, 0x08, 0xC5, 0xA1, 0x7E, 0x39, 0};

// The reads of each operation, in the library's order.
const char* const kInitReads[] = {s::kPort, s::kRate, s::kSector, s::kKey};
const char* const kCardReads[] = {s::kPort,   s::kRate,   s::kSector, s::kDbStatus, s::kDbIpAddr,
                                  s::kDbName, s::kDbUser, s::kDbPass, s::kCodeOrNo, s::kKey};
const char* const kDeductReads[] = {s::kPort, s::kRate, s::kSector, s::kKey, s::kCodeOrNo, s::kJournal};

template <std::size_t N>
void ReadAll(const char* const (&names)[N]) {
    for (const char* name : names) ReadValue(name);
}

struct Api {
    int(__stdcall* vbShowParaForm)(HWND);
    int(__stdcall* vbDecCard)(char*, int, char**);
    int(__stdcall* vbReadCardNo)(char**);
    int(__stdcall* vbInitCom)();
};

template <class Fn>
Fn Ordinal(HMODULE module, int ordinal) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)))));
}

double Seconds(const std::function<void()>& body, int calls) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) body();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Operation {
    const char* name;
    std::function<void()> setup;  // settings for this operation
    std::function<void()> library;
    std::function<void()> floor;
};

// --dialog: time from the call to the dialog being visible; a second thread
// watches for the window and closes it as a user would.
const wchar_t* const kDialogTitle = L"一卡通参数配置 [Orlanda：QKT-R7MX-2]";
LARGE_INTEGER g_visibleAt;
volatile LONG g_callReturned;

DWORD WINAPI CloseWhenVisible(void*) {
    const ULONGLONG giveUp = GetTickCount64() + 30000;
    while (!g_callReturned && GetTickCount64() < giveUp) {
        HWND dialog = FindWindowW(nullptr, kDialogTitle);
        if (dialog && IsWindowVisible(dialog)) {
            QueryPerformanceCounter(&g_visibleAt);
            PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            return 0;
        }
        Sleep(0);
    }
    if (!g_callReturned) {
        std::printf("vbShowParaForm: no visible dialog after 30 s\n");
        std::fflush(stdout);
        ExitProcess(3);
    }
    return 0;
}

void TimeDialog(const Api& api) {
    if (!GetEnvironmentVariableA("DISPLAY", nullptr, 0)) {
        std::printf("vbShowParaForm: skipped (no X display)\n");
        return;
    }
    std::vector<double> visible, whole;
    for (int run = 0; run < 3; ++run) {
        g_visibleAt.QuadPart = 0;
        g_callReturned = 0;
        HANDLE watcher = CreateThread(nullptr, 0, CloseWhenVisible, nullptr, 0, nullptr);
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        api.vbShowParaForm(nullptr);
        QueryPerformanceCounter(&end);
        InterlockedExchange(&g_callReturned, 1);
        WaitForSingleObject(watcher, INFINITE);
        CloseHandle(watcher);
        if (g_visibleAt.QuadPart == 0) {
            std::printf("vbShowParaForm: returned without showing a dialog (not implemented yet?)\n");
            return;
        }
        visible.push_back(double(g_visibleAt.QuadPart - start.QuadPart) / double(frequency.QuadPart));
        whole.push_back(double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    }
    std::printf("vbShowParaForm: visible after %.1f ms, closed and returned after %.1f ms (median of 3)\n",
                Median(visible) * 1e3, Median(whole) * 1e3);
}

// A load and a free of the library against the floor, a DLL with no
// runtime that imports the same DLLs. The system and vendor DLLs stay loaded,
// as in a host that loads the library per transaction.
void TimeLoad(int runs) {
    for (const char* name : {"user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll"}) LoadLibraryA(name);
    const auto cycle = [](const char* dll) {
        return [dll] {
            HMODULE module = LoadLibraryA(dll);
            if (!module) {
                std::fprintf(stderr, "bench: %s cannot be loaded (error %lu)\n", dll, GetLastError());
                std::exit(2);
            }
            FreeLibrary(module);
        };
    };
    const std::function<void()> library = cycle("Vb_Ykt.dll"), floor = cycle("load_floor.dll");
    constexpr int kCycles = 300;
    Seconds(library, kCycles / 4);
    Seconds(floor, kCycles / 4);
    std::vector<double> lib, base, ratio;
    for (int run = 0; run < runs; ++run) {
        const bool floorFirst = run % 2;
        const double f0 = floorFirst ? Seconds(floor, kCycles) : 0;
        const double l = Seconds(library, kCycles);
        const double f = floorFirst ? f0 : Seconds(floor, kCycles);
        lib.push_back(l / kCycles);
        base.push_back(f / kCycles);
        ratio.push_back(l / f);
    }
    std::printf("%-20s %12.1f %12.1f %8.3f   (load+free, median of %d runs of %d, target 1.5)\n", "LoadLibrary",
                Median(lib) * 1e6, Median(base) * 1e6, Median(ratio), runs, kCycles);
}

}  // namespace

// The deduction journal: two records, each one WriteFile and one
// FlushFileBuffers, per deduction. Its floor is the same two flushed appends
// made directly to a scratch file; the call with it is vbDecCard with the
// journal on against vbDecCard with YKT_JOURNAL "0".
void TimeJournal(int(__stdcall* vbDecCard)(char*, int, char**), char* input, char** balance, int runs, int calls) {
    wchar_t temp[MAX_PATH], scratch[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    GetTempFileNameW(temp, L"yjb", 0, scratch);
    HANDLE file = CreateFileW(scratch, FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    const std::string line(150, 'x');  // a record's length
    auto append = [&] {
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        FlushFileBuffers(file);
    };
    std::vector<double> appends, on, off;
    for (int run = 0; run < runs; ++run) {
        appends.push_back(Seconds([&] { append(), append(); }, calls) / calls);
        Set(s::kJournal, "1");
        on.push_back(Seconds([&] { vbDecCard(input, 250, balance); }, calls) / calls);
        Set(s::kJournal, "0");
        off.push_back(Seconds([&] { vbDecCard(input, 250, balance); }, calls) / calls);
    }
    CloseHandle(file);
    DeleteFileW(scratch);
    const double a = Median(appends), with = Median(on), without = Median(off);
    std::printf("journal: two flushed appends %.1f us (floor); vbDecCard with the journal %.1f us, without %.1f us: "
                "the journal adds %.1f us a deduction, %.2f times its floor\n",
                a * 1e6, with * 1e6, without * 1e6, (with - without) * 1e6, (with - without) / a);
}

int main(int argc, char** argv) {
    int runs = 7, calls = 400;
    bool dialog = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strncmp(argv[i], "--runs=", 7)) runs = std::max(1, std::atoi(argv[i] + 7));
        if (!std::strncmp(argv[i], "--calls=", 8)) calls = std::max(1, std::atoi(argv[i] + 8));
        if (!std::strcmp(argv[i], "--dialog")) dialog = true;
    }
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    dbl_set_quiet(1);

    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ykt::kVendorKeyPath);
    Set(s::kPort, "0");
    Set(s::kRate, "9600");
    Set(s::kSector, "7");
    Set(s::kKey, ykt::kDefaultKey);
    Set(s::kAuto, "0");
    Set(s::kStepSec, "1500");
    Set(s::kDbStatus, "0");
    Set(s::kDbIpAddr, "10.0.0.5");
    Set(s::kDbName, "ykt");
    Set(s::kDbUser, "sa");
    Set(s::kDbPass, "37003737");
    Set(s::kCodeOrNo, "0");

    HMODULE library = LoadLibraryA("Vb_Ykt.dll");
    if (!library) {
        std::fprintf(stderr, "bench: Vb_Ykt.dll not found\n");
        return 2;
    }
    Api api{Ordinal<decltype(Api::vbShowParaForm)>(library, 1), Ordinal<decltype(Api::vbDecCard)>(library, 2),
            Ordinal<decltype(Api::vbReadCardNo)>(library, 4), Ordinal<decltype(Api::vbInitCom)>(library, 6)};

    char* number = nullptr;
    char* input = vb_ykt_new_string("000000012");
    char* balance = nullptr;
    int s[4];
    char* message = nullptr;
    int out[4];
    const std::vector<Operation> operations = {
        {"vbInitCom", [] {}, [&] { api.vbInitCom(); },
         [&] {
             ReadAll(kInitReads);
             WT_init(0, 9600, 7, kKeyBytes);
             WT_exit();
         }},
        {"vbReadCardNo", [] { Set(s::kDbStatus, "0"); }, [&] { api.vbReadCardNo(&number); },
         [&] {
             ReadAll(kCardReads);
             WT_init(0, 9600, 7, kKeyBytes);
             ReadCardNoBeep(&s[0], &s[1], &s[2], &s[3]);
             WT_exit();
         }},
        {"vbReadCardNo+state", [] { Set(s::kDbStatus, "1"); }, [&] { api.vbReadCardNo(&number); },
         [&] {
             ReadAll(kCardReads);
             WT_init(0, 9600, 7, kKeyBytes);
             ReadCardNoBeep(&s[0], &s[1], &s[2], &s[3]);
             message = const_cast<char*>("");
             GetCardState("10.0.0.5", "sa", "pw", "ykt", "000000012", &message, &out[0], &out[1], &out[2], &out[3]);
             WT_exit();
         }},
        // Without the journal: the library's own work against the same floor.
        // The journal's cost has its own section below.
        {"vbDecCard", [] { Set(s::kDbStatus, "0"), Set(s::kJournal, "0"); }, [&] { api.vbDecCard(input, 250, &balance); },
         [&] {
             ReadAll(kDeductReads);
             WT_init(0, 9600, 7, kKeyBytes);
             Decrease(12, 250);
             ReadCardBeep(&s[0], &s[1], &s[2], &s[3]);
             WT_exit();
         }},
    };

    std::printf("%-20s %12s %12s %8s   (median of %d runs of %d calls, wine64, instant doubles)\n", "operation",
                "library us", "floor us", "ratio", runs, calls);
    double worst = 0;
    for (const Operation& op : operations) {
        op.setup();
        // Warm-up: registry caches, the loader, first allocations.
        Seconds(op.library, calls / 4 + 1);
        Seconds(op.floor, calls / 4 + 1);
        std::vector<double> lib, floor, ratio;
        for (int run = 0; run < runs; ++run) {
            // Alternate the order so that drift of the machine hits both alike.
            double l, f;
            if (run % 2) {
                f = Seconds(op.floor, calls);
                l = Seconds(op.library, calls);
            } else {
                l = Seconds(op.library, calls);
                f = Seconds(op.floor, calls);
            }
            lib.push_back(l / calls);
            floor.push_back(f / calls);
            ratio.push_back(l / f);
        }
        const double r = Median(ratio);
        worst = std::max(worst, r);
        std::printf("%-20s %12.1f %12.1f %8.3f\n", op.name, Median(lib) * 1e6, Median(floor) * 1e6, r);
    }
    // What the floor is made of: one registry value, and the vendor calls alone.
    {
        std::vector<double> reg, vendor;
        for (int run = 0; run < runs; ++run) {
            reg.push_back(Seconds([] { ReadValue(s::kPort); }, calls * 4) / (calls * 4));
            vendor.push_back(Seconds([&] {
                                 WT_init(0, 9600, 7, kKeyBytes);
                                 ReadCardNoBeep(&s[0], &s[1], &s[2], &s[3]);
                                 WT_exit();
                             },
                                     calls * 4) /
                             (calls * 4));
        }
        std::printf("one registry value (open, query, close): %.1f us; WT_init+ReadCardNoBeep+WT_exit: %.2f us\n",
                    Median(reg) * 1e6, Median(vendor) * 1e6);
    }
    std::printf("largest ratio: %.3f (target 1.10)\n", worst);
    TimeJournal(api.vbDecCard, input, &balance, runs, calls / 4 + 1);
    vb_ykt_release(number);
    vb_ykt_release(balance);
    vb_ykt_release(input);

    if (dialog) TimeDialog(api);
    std::fflush(stdout);
    FreeLibrary(library);
    TimeLoad(runs);
    return 0;
}
