// Characters that reach the boxes by other roads than a key stroke (sent
// WM_CHAR, an input method's WM_IME_CHAR), faults inside the dialog's window
// procedures, and a host that polls the reader while the dialog is open.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "DoubleControl.h"
#include "core/card/CardOperations.h"
#include "core/settings/SettingsStore.h"

namespace ykt::test {
namespace {

using namespace ykt::dialog;
namespace s = ykt::setting;

// The window a character for the control goes to: a combo box's edit.
HWND EditOf(Dialog& dialog, ControlId id) {
    HWND control = dialog.Control(id);
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(control, &info) && info.hwndItem) return info.hwndItem;
    return control;
}

// Code page 936 bytes of one character as WM_IME_CHAR carries them from an
// ANSI sender: the lead byte in the high byte.
WPARAM ImeBytes(wchar_t c) {
    const std::string bytes = Ansi(std::wstring(1, c));
    if (bytes.size() == 1) return static_cast<unsigned char>(bytes[0]);
    return (static_cast<unsigned>(static_cast<unsigned char>(bytes[0])) << 8) | static_cast<unsigned char>(bytes[1]);
}

enum class Path { SentChar, SentCharToComboBox, ImeCharW, ImeCharA, PostedImeChar };

const char* PathName(Path path) {
    switch (path) {
        case Path::SentChar: return "sent WM_CHAR";
        case Path::SentCharToComboBox: return "sent WM_CHAR to the combo box";
        case Path::ImeCharW: return "sent WM_IME_CHAR";
        case Path::ImeCharA: return "WM_IME_CHAR with code page 936 bytes";
        case Path::PostedImeChar: return "posted WM_IME_CHAR";
    }
    return "?";
}

// Delivers characters to a control by one path, all handled on return.
void Deliver(Dialog& dialog, ControlId id, Path path, std::wstring_view characters) {
    HWND edit = EditOf(dialog, id);
    for (wchar_t c : characters) {
        switch (path) {
            case Path::SentChar:
                SendMessageW(edit, WM_CHAR, c, 1);
                break;
            case Path::SentCharToComboBox:
                SendMessageW(dialog.Control(id), WM_CHAR, c, 1);
                break;
            case Path::ImeCharW:
                SendMessageW(edit, WM_IME_CHAR, c, 1);
                break;
            case Path::ImeCharA:
                SendMessageA(edit, WM_IME_CHAR, ImeBytes(c), 1);
                break;
            case Path::PostedImeChar:  // taken in the order posted
                PostMessageW(edit, WM_IME_CHAR, c, 1);
                break;
        }
    }
    if (path == Path::PostedImeChar) dialog.WaitHandled();
}

void PrepareBox(Dialog& dialog, ControlId id, const std::wstring& start, bool selectAll) {
    dialog.SetText(id, start);
    HWND edit = EditOf(dialog, id);
    const LPARAM length = static_cast<LPARAM>(start.size());
    SendMessageW(edit, EM_SETSEL, selectAll ? 0 : length, length);
}

class InputPathTest : public testing::Test {
protected:
    void SetUp() override {
        DeleteSettings();
        WriteDefaultSettings();
        SetSetting(s::kDbStatus, "1");
    }
    void TearDown() override { DeleteSettings(); }
};

struct Delivery {
    ControlId id;
    std::wstring start;
    bool selectAll;  // the delivered text replaces the selected start
    std::wstring delivered;
    std::wstring shown;
};

// Every row by every path, in edit mode; nothing is saved.
void DeliverEverywhere(const std::vector<Delivery>& rows) {
    const Path paths[] = {Path::SentChar, Path::SentCharToComboBox, Path::ImeCharW, Path::ImeCharA,
                          Path::PostedImeChar};
    const int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        ASSERT_TRUE(dialog.EditMode());
        for (Path path : paths) {
            for (const Delivery& c : rows) {
                const bool comboBox = c.id == idCbbPort || c.id == idCbbRate;
                if (path == Path::SentCharToComboBox && !comboBox) continue;
                SCOPED_TRACE(testing::Message() << PathName(path) << ", control " << c.id << ", "
                                                << Ansi(c.delivered).size() << " bytes delivered");
                PrepareBox(dialog, c.id, c.start, c.selectAll);
                Deliver(dialog, c.id, path, c.delivered);
                EXPECT_EQ(dialog.Text(c.id), c.shown);
            }
        }
        dialog.Click(idBtCancel);  // edit mode: nothing written
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(s::kDbIpAddr), "<missing>") << "nothing written";
}

// Full-width digits and letters as a Chinese input method in full-width mode
// gives them, and ASCII as automation sends it: every filtered box takes what
// typing could have produced, and the key box turns letters upper case.
TEST_F(InputPathTest, EveryPathMeetsTheKeyFilters) {
    // clang-format off
    DeliverEverywhere({
        {idEdPassKey, L"",     false, L"１２ａＢｇ",  L""},
        {idEdPassKey, L"",     false, L"1g2abF",       L"12ABF"},
        {idEdPassKey, L"0123456789ABCDEF0123456", false, L"78", L"0123456789ABCDEF01234567"},
        {idEdSector,  L"7",    true,  L"x",            L"7"},
        {idEdSector,  L"",     false, L"１２3",        L"3"},
        {idEdStepSec, L"",     false, L"１5a０0",      L"50"},
        {idCbbPort,   L"",     false, L"１a2",         L"2"},
        {idCbbRate,   L"9600", true,  L"1１a",         L"9600"},
    });
    // clang-format on
}

// Chinese text against the limits of 24 bytes in code page 936: of 13
// characters 12 are kept, on every path.
TEST_F(InputPathTest, EveryPathMeetsTheByteLimits) {
    const std::wstring thirteen = L"一卡通服务器数据库用户名称";
    const std::wstring twelve = thirteen.substr(0, 12);
    DeliverEverywhere({
        {idEdIP, L"", false, thirteen, twelve},
        {idEdName, L"", false, thirteen, twelve},
        {idEdUser, L"", false, thirteen, twelve},
        {idEdPass, L"", false, thirteen, twelve},
        {idEdIP, std::wstring(23, L'a'), false, L"中b", std::wstring(23, L'a') + L"b"},
    });
}

// Enter moves the focus on whatever road it takes, and is never inserted.
TEST_F(InputPathTest, EnterOnEveryPathMovesTheFocus) {
    struct Step {
        Path path;
        ControlId from, to;
    };
    const Step steps[] = {
        {Path::SentChar, idEdStepSec, idEdSector},
        {Path::ImeCharW, idEdSector, idEdPassKey},
        {Path::ImeCharA, idEdPassKey, idCbStatus},
        {Path::PostedImeChar, idCbStatus, idEdIP},
    };
    const int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        dialog.Click(idEdStepSec);
        for (const Step& step : steps) {
            SCOPED_TRACE(PathName(step.path));
            ASSERT_EQ(dialog.Focus(), step.from);
            const std::wstring before = dialog.Text(step.from);
            Deliver(dialog, step.from, step.path, L"\r");
            EXPECT_EQ(dialog.Focus(), step.to);
            EXPECT_EQ(dialog.Text(step.from), before);
            EXPECT_TRUE(dialog.Open());
        }
        EXPECT_TRUE(dialog.Checked(idCbStatus)) << "Enter does not press the check box";
        dialog.Click(idBtCancel);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(s::kDbIpAddr), "<missing>") << "nothing written";
}

// ---------------------------------------------------------------------------
// Faults inside the dialog's window procedures

// How many handles of this process refer to the settings key.
ULONG SettingsKeyHandles() {
    struct BasicInformation {
        ULONG attributes;
        ACCESS_MASK access;
        ULONG handles;
        ULONG references;
        ULONG reserved[10];
    };
    using QueryObjectFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    HKEY key = nullptr;
    if (!query || RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velbrook\\Lib", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    BasicInformation info{};
    ULONG size = 0;
    const LONG status = query(key, 0 /* ObjectBasicInformation */, &info, sizeof info, &size);
    RegCloseKey(key);
    return status == 0 ? info.handles - 1 : 0;  // less the one just opened
}

bool DialogClassRegistered() {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    return GetClassInfoExW(GetModuleHandleW(L"Vb_Ykt.dll"), kFormClassName, &cls) != FALSE;
}

// The window procedure a subclassing control hands on to, as the dialog keeps it.
const wchar_t* const kOriginalProcProperty = L"YktControlOriginalProc";

// The text of a panel as its painting asks for it: a length no allocation can
// hold. What the allocation throws stays inside the panel's window procedure.
WNDPROC g_panelProc = nullptr;
std::atomic<int> g_impossibleLengths{0};

LRESULT CALLBACK ImpossibleTextLength(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXTLENGTH) {
        ++g_impossibleLengths;
        return -2;
    }
    return CallWindowProcW(g_panelProc, window, message, wParam, lParam);
}

class FaultTest : public testing::Test {
protected:
    void SetUp() override {
        DeleteSettings();
        dbl_reset();
    }
    void TearDown() override { DeleteSettings(); }
};

// An access violation inside a control's handler (here: the control it
// hands a character on to is not there) ends that handler only; the dialog
// goes on, saves, and leaves no key open, no class registered and the host
// enabled.
TEST_F(FaultTest, AccessViolationInAHandlerEndsThatHandlerOnly) {
    WriteDefaultSettings();
    SetSetting(s::kDbStatus, "1");
    const int result = ShowDialog([&](Dialog& dialog) {
        dialog.Click(idBtMod);
        HWND sector = dialog.Control(idEdSector);
        HWND user = dialog.Control(idEdUser);
        const HANDLE sectorProc = GetPropW(sector, kOriginalProcProperty);
        const HANDLE userProc = GetPropW(user, kOriginalProcProperty);
        ASSERT_NE(sectorProc, nullptr);
        PrepareBox(dialog, idEdSector, L"", false);
        SetPropW(sector, kOriginalProcProperty, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x10)));
        SendMessageW(sector, WM_CHAR, L'5', 1);
        SetPropW(sector, kOriginalProcProperty, sectorProc);
        EXPECT_TRUE(dialog.Open());
        dialog.WaitHandled();
        SendMessageW(sector, WM_CHAR, L'6', 1);
        EXPECT_EQ(dialog.Text(idEdSector), L"6") << "the box works again";

        // The same fault while the save has the key open for writing: the
        // user box fails to give its text.
        SetPropW(user, kOriginalProcProperty, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x10)));
        dialog.Click(idBtOk);
        SetPropW(user, kOriginalProcProperty, userProc);
        dialog.WaitClosed();
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(SettingsKeyHandles(), 0u) << "no key left open";
    EXPECT_FALSE(DialogClassRegistered());
    EXPECT_TRUE(IsWindowEnabled(TheHost().window));
    EXPECT_EQ(GetSetting(s::kSector), "6");
}

// An access violation in a window the save reads while it holds the key open
// for writing (the rate box, subclassed by someone else): whether the window
// system stops it at its own frames (wine does) or it reaches the save's
// guard, the key is closed and the dialog and its classes go.
WNDPROC g_rateProc = nullptr;
std::atomic<bool> g_rateArmed{false};

LRESULT CALLBACK FaultingRateText(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXT && g_rateArmed.exchange(false)) *static_cast<volatile int*>(nullptr) = 1;
    return CallWindowProcW(g_rateProc, window, message, wParam, lParam);
}

TEST_F(FaultTest, AccessViolationDuringTheSaveClosesTheKey) {
    WriteDefaultSettings();
    const int result = ShowDialog([&](Dialog& dialog) {
        HWND rate = dialog.Control(idCbbRate);
        g_rateProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(rate, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FaultingRateText)));
        g_rateArmed = true;
        dialog.Click(idBtOk);
        dialog.WaitHandled();
        g_rateArmed = false;
        SetWindowLongPtrW(rate, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_rateProc));
        if (dialog.Open()) dialog.PressCloseButton();
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(SettingsKeyHandles(), 0u) << "no key left open";
    EXPECT_FALSE(DialogClassRegistered());
    EXPECT_TRUE(IsWindowEnabled(TheHost().window));
}

// A C++ exception thrown in a container's painting (its text cannot be
// allocated) is caught in that window procedure: the dialog stays usable.
TEST_F(FaultTest, ExceptionInPaintingStaysInThePanel) {
    g_impossibleLengths = 0;
    const int result = ShowDialog([&](Dialog& dialog) {
        HWND panel = dialog.Control(idPanel1);
        g_panelProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ImpossibleTextLength)));
        RedrawWindow(panel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
        dialog.WaitHandled();
        for (int waited = 0; waited < 3000 && g_impossibleLengths == 0; waited += 10) Sleep(10);
        EXPECT_GT(g_impossibleLengths.load(), 0) << "the panel was painted";
        EXPECT_TRUE(dialog.Open());
        SetWindowLongPtrW(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_panelProc));
        dialog.Click(idBtMod);
        EXPECT_TRUE(dialog.EditMode());
        dialog.Click(idBtOk);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(GetSetting(s::kPort), "0") << "saved";
    EXPECT_EQ(SettingsKeyHandles(), 0u);
    EXPECT_FALSE(DialogClassRegistered());
    EXPECT_TRUE(IsWindowEnabled(TheHost().window));
}

// ---------------------------------------------------------------------------
// A host that polls the reader from a timer while the dialog is open

struct Poll {
    std::atomic<int> calls{0};
    std::atomic<int> failures{0};
    CRITICAL_SECTION lock;
    std::string lastInit;  // the last WT_init the doubles saw
};
Poll* g_poll = nullptr;

void CALLBACK PollReader(HWND, UINT, UINT_PTR, DWORD) {
    const Exports& api = TheHost().lib->api();
    char* number = nullptr;
    int read = api.vbReadCardNo(&number);
    int deducted = 0;
    if (read == 0) {
        char* balance = nullptr;
        deducted = api.vbDecCard(number, 1, &balance);
        TheHost().lib->Release(balance);
    }
    TheHost().lib->Release(number);
    const std::string log = dbl_log();
    const std::size_t at = log.rfind("WT_init(");
    EnterCriticalSection(&g_poll->lock);
    if (at != std::string::npos) g_poll->lastInit = log.substr(at, log.find('\n', at) - at);
    LeaveCriticalSection(&g_poll->lock);
    dbl_reset();
    dbl_set_card(123456, 42, 5000, 3);
    if (read != 0 || deducted != 0) ++g_poll->failures;
    ++g_poll->calls;
}

std::string LastInit() {
    EnterCriticalSection(&g_poll->lock);
    std::string init = g_poll->lastInit;
    LeaveCriticalSection(&g_poll->lock);
    return init;
}

bool WaitForCalls(int count) {
    const int target = g_poll->calls + count;
    for (int waited = 0; waited < 10000 && g_poll->calls < target; waited += 10) Sleep(10);
    return g_poll->calls >= target;
}

TEST(PollingHostTest, ReadsAndDeductsWhileTheDialogIsOpenAndPicksUpTheSave) {
    Poll poll;
    InitializeCriticalSection(&poll.lock);
    g_poll = &poll;
    DeleteSettings();
    WriteDefaultSettings();
    SetSetting(s::kCodeOrNo, "0");
    SetSetting(s::kAuto, "1");
    dbl_reset();
    dbl_set_card(123456, 42, 5000, 3);
    const std::string newKey = "5A3C96E1B74D2F08C5A17EAB";
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, PollReader);
    ASSERT_NE(timer, 0u);
    const int result = ShowDialog([&](Dialog& dialog) {
        EXPECT_TRUE(WaitForCalls(3)) << "the host's timer runs during the dialog";
        EXPECT_EQ(LastInit(), "WT_init(0,9600,7,5A3C96E1B74D2F08C5A17E3900)");
        dialog.Click(idBtMod);
        EXPECT_TRUE(dialog.EditMode());
        dialog.Click(idEdPassKey);
        dialog.Key(VK_END);
        dialog.Type(L"\b\bab");
        EXPECT_EQ(Ansi(dialog.Text(idEdPassKey)), newKey);
        dialog.Type(L"g");
        EXPECT_EQ(Ansi(dialog.Text(idEdPassKey)), newKey) << "the filter still works";
        EXPECT_TRUE(WaitForCalls(2));
        EXPECT_EQ(LastInit(), "WT_init(0,9600,7,5A3C96E1B74D2F08C5A17E3900)") << "nothing saved yet";
        dialog.Click(idBtOk);
        EXPECT_TRUE(dialog.WaitClosed());
    });
    EXPECT_EQ(result, 0);
    // The host's own loop again: its next timer calls see the saved key.
    const int before = poll.calls;
    for (int waited = 0; waited < 5000 && poll.calls < before + 2; waited += 10) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(10);
    }
    KillTimer(nullptr, timer);
    EXPECT_GE(poll.calls, before + 2);
    EXPECT_EQ(poll.failures.load(), 0) << "every read and deduction succeeded, of " << poll.calls.load();
    EXPECT_EQ(LastInit(), "WT_init(0,9600,7," + newKey + "00)");
    EXPECT_EQ(GetSetting(s::kKey), newKey);
    g_poll = nullptr;
    DeleteCriticalSection(&poll.lock);
    DeleteSettings();
}

}  // namespace
}  // namespace ykt::test
