// A host's own thread state is its own: a Delphi host runs with its x87
// control word (0x1332: precision 64 bits, invalid operation, zero divide and
// overflow raising exceptions) and may have set the SSE control word, the
// error mode and the locales. Loading the library, every export and
// unloading leave all of it as it was, start no thread, and leave threads
// started afterwards with the state threads got before the library came.
#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

#include "DoubleControl.h"
#include "HostLib.h"
#include "Probes.h"

namespace ykt::test {
namespace {

// Delphi's default control word, and round-down with flush-to-zero and
// denormals-are-zero in the SSE unit (all SSE exceptions masked).
constexpr FloatState kHostFloat = {0x1332, 0xBFC0};
constexpr UINT kHostErrorMode = SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX;
const LCID kHostThreadLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

// Closes the settings dialog from its own modal loop: a timer of the calling
// thread posts WM_CLOSE to every window of the thread but the host's.
HWND g_hostWindow = nullptr;

BOOL CALLBACK CloseOne(HWND window, LPARAM) {
    if (window != g_hostWindow && IsWindowVisible(window)) PostMessageW(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void CALLBACK CloseDialog(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), CloseOne, 0); }

class HostState : public testing::TestWithParam<AllocMode> {
protected:
    void SetUp() override {
        WriteDefaultSettings();
        dbl_reset();
        savedFloat_ = CurrentFloatState();
        savedRuntime_ = CurrentRuntimeState();
        // A fresh thread's state before the library is loaded: the yardstick
        // for threads started while it is loaded and after it is gone.
        freshThread_ = FloatStateOfANewThread();
        host_.errorMode = kHostErrorMode;
        host_.threadLocale = kHostThreadLocale;
        SetErrorMode(kHostErrorMode);
        SetThreadLocale(kHostThreadLocale);
        // A host runtime locale other than the "C" a program starts with.
        const char* crt = std::setlocale(LC_ALL, "English_United States.1252");
        if (!crt) crt = std::setlocale(LC_ALL, "");
        host_.crtLocale = crt ? crt : "<null>";
        g_hostWindow = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                       nullptr, nullptr, nullptr);
        threadsBefore_ = ThreadCountSettled(1);
        SetFloatState(kHostFloat);
        hostFloat_ = CurrentFloatState();
        SetFloatState(savedFloat_);
    }
    void TearDown() override {
        SetFloatState(savedFloat_);
        if (g_hostWindow) DestroyWindow(g_hostWindow);
        g_hostWindow = nullptr;
        SetErrorMode(savedRuntime_.errorMode);
        SetThreadLocale(savedRuntime_.threadLocale);
        std::setlocale(LC_ALL, savedRuntime_.crtLocale.c_str());
    }

    // Everything the host set must be as it set it; the float state is set
    // again right before each step so that one step's change cannot hide
    // another's.
    void ExpectUnchanged(const std::string& after) {
        const FloatState f = CurrentFloatState();
        EXPECT_TRUE(f == hostFloat_) << "after " << after << ": " << Describe(f) << ", the host had "
                                     << Describe(hostFloat_);
        const RuntimeState r = CurrentRuntimeState();
        EXPECT_TRUE(r == host_) << "after " << after << ": " << Describe(r) << ", the host had " << Describe(host_);
        EXPECT_EQ(ThreadCountSettled(threadsBefore_), threadsBefore_) << "after " << after << ": threads of the process";
        SetFloatState(kHostFloat);
    }

    FloatState savedFloat_{};
    RuntimeState savedRuntime_{};
    RuntimeState host_{};
    FloatState freshThread_{};
    FloatState hostFloat_{};  // kHostFloat as the processor reads it back
    int threadsBefore_ = 0;
};

std::string ModeName(const testing::TestParamInfo<AllocMode>& info) { return ykt::test::ModeName(info.param); }

INSTANTIATE_TEST_SUITE_P(Modes, HostState, testing::Values(AllocMode::ProcessHeap, AllocMode::Shared), ModeName);

TEST_P(HostState, LoadEveryExportAndUnloadLeaveTheHostsStateAlone) {
    SetFloatState(kHostFloat);
    auto lib = std::make_unique<HostLib>(GetParam());
    ExpectUnchanged("loading");
    const FloatState loadedThread = FloatStateOfANewThread();
    EXPECT_TRUE(loadedThread == freshThread_) << "a thread started with the library loaded begins with "
                                              << Describe(loadedThread) << ", one started before it with "
                                              << Describe(freshThread_);
    SetFloatState(kHostFloat);

    const Exports& api = lib->api();
    EXPECT_EQ(api.vbYktExist(), 0);
    ExpectUnchanged("vbYktExist");
    EXPECT_EQ(api.vbCloseCom(), 0);
    ExpectUnchanged("vbCloseCom");
    EXPECT_EQ(api.vbInitCom(), 0);
    ExpectUnchanged("vbInitCom");

    // The reads with and without the card-state check, and with a fault
    // inside the reader: the library then throws and catches inside.
    for (const char* state : {"0", "1"}) {
        for (int fault : {kNoFault, kAccessViolation}) {
            const std::string what = std::string("the card-state check ") + state + (fault ? ", reader faulting" : "");
            SetSetting("YKT_DBSATAUS", state);
            dbl_reset();
            dbl_set_fault("ReadCardNoBeep", fault);
            dbl_set_fault("ReadCardBeep", fault);
            char* number = nullptr;
            EXPECT_EQ(api.vbReadCardNo(&number), fault ? 1 : 0) << what;
            ExpectUnchanged("vbReadCardNo, " + what);
            EXPECT_EQ(api.vbReadCardBeep(&number), fault ? 1 : 0) << what;
            ExpectUnchanged("vbReadCardBeep, " + what);
            lib->Release(number);
        }
    }
    SetSetting("YKT_DBSATAUS", "0");

    for (int fault : {kNoFault, kAccessViolation}) {
        dbl_reset();
        dbl_set_fault("ReadCardBeep", fault);
        char* card = lib->NewString("000000012");
        char* balance = nullptr;
        EXPECT_EQ(api.vbDecCard(card, 250, &balance), 0) << "reader faulting after the deduction: " << fault;
        ExpectUnchanged(fault ? "vbDecCard, second read faulting" : "vbDecCard");
        lib->Release(balance);
        lib->Release(card);
    }

    // The dialog's own modal loop closes it again.
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, CloseDialog);
    EXPECT_EQ(api.vbShowParaForm(g_hostWindow), 0);
    KillTimer(nullptr, timer);
    ExpectUnchanged("vbShowParaForm");

    lib.reset();
    ExpectUnchanged("unloading");
    const FloatState afterThread = FloatStateOfANewThread();
    EXPECT_TRUE(afterThread == freshThread_) << "a thread started after unloading begins with "
                                             << Describe(afterThread) << ", one started before loading with "
                                             << Describe(freshThread_);
}

}  // namespace
}  // namespace ykt::test
