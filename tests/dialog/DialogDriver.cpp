#include "DialogDriver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace ykt::test {

namespace {

Host g_host;
// Waits are multiplied by this where everything runs slower (an emulated CPU).
int g_patience = 1;
CRITICAL_SECTION g_textsLock;
std::map<int, std::wstring> g_textsAtClose;

// Keyboard input is posted to the window that has the focus, as the system
// would queue it: WM_KEYDOWN and WM_KEYUP for keys (the dialog's loop makes
// their characters), WM_CHAR for typed characters. Real input (SendInput)
// would go to the foreground window, which on a display without a window
// manager wine sometimes hands to the desktop; mouse clicks are real input,
// routed by where the cursor is.
//
// Waiting for input to be handled: a marker message posted to the host
// thread is taken from its queue only after everything posted before it has
// been dispatched. Two in a row cover the characters that the first
// dispatched key posts in turn.
constexpr UINT kMarkerMessage = WM_APP + 0x3A7;
HANDLE g_markerTaken = nullptr;
HANDLE g_clickTaken = nullptr;
volatile LONG g_markerSequence = 0;
HWND volatile g_clickWindow = nullptr;  // where the last click was taken

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0 && wParam == PM_REMOVE) {
        const MSG* message = reinterpret_cast<const MSG*>(lParam);
        if (message->message == kMarkerMessage && static_cast<LONG>(message->wParam) == g_markerSequence)
            SetEvent(g_markerTaken);
        if (message->message == WM_LBUTTONUP) {
            g_clickWindow = message->hwnd;
            SetEvent(g_clickTaken);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Records the text of every control of the dialog as it is destroyed.
LRESULT CALLBACK CallWndProcHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
        if (call->message == WM_DESTROY) {
            HWND root = GetAncestor(call->hwnd, GA_ROOT);
            if (root && root != call->hwnd && ClassOf(root) == dialog::kFormClassName &&
                ClassOf(GetParent(call->hwnd)) != L"ComboBox") {
                wchar_t text[512] = {};
                GetWindowTextW(call->hwnd, text, 512);
                EnterCriticalSection(&g_textsLock);
                g_textsAtClose[GetDlgCtrlID(call->hwnd)] = text;
                LeaveCriticalSection(&g_textsLock);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

struct Search {
    HWND owner;  // or the parent, for controls
    int id;
    HWND found;
};

BOOL CALLBACK MatchMessageBox(HWND window, LPARAM raw) {
    auto* search = reinterpret_cast<Search*>(raw);
    if (ClassOf(window) == L"#32770" && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK MatchControl(HWND child, LPARAM raw) {
    auto* search = reinterpret_cast<Search*>(raw);
    if (GetDlgCtrlID(child) == search->id && ClassOf(GetParent(child)) != L"ComboBox") {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND FindMessageBox(HWND dialog) {
    Search search{dialog, 0, nullptr};
    EnumThreadWindows(g_host.thread, MatchMessageBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// One marker round trip; false when the dialog went away meanwhile (then
// nothing takes messages any more) or nothing was taken in time.
bool RoundTrip(HWND dialog) {
    const LONG sequence = InterlockedIncrement(&g_markerSequence);
    ResetEvent(g_markerTaken);
    PostThreadMessageW(g_host.thread, kMarkerMessage, static_cast<WPARAM>(sequence), 0);
    for (int waited = 0; waited < 5000 * g_patience; waited += 5) {
        if (WaitForSingleObject(g_markerTaken, 5) == WAIT_OBJECT_0) return true;
        if (dialog && !IsWindow(dialog)) return false;
    }
    ADD_FAILURE() << "the dialog's thread did not take its messages";
    return false;
}

// Returns once everything sent to the dialog's thread so far is handled.
void Settle(HWND dialog) {
    if (RoundTrip(dialog)) RoundTrip(dialog);
}

HWND KeyboardTarget(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(g_host.thread, &info);
    if (info.hwndFocus) return info.hwndFocus;
    return info.hwndActive ? info.hwndActive : dialog;
}

struct DriverContext {
    const std::function<void(Dialog&)>* script;
};

HANDLE g_driverDpiContext = nullptr;

DWORD WINAPI DriverMain(void* raw) {
    auto* context = static_cast<DriverContext*>(raw);
    if (g_driverDpiContext) {
        using SetContextFn = HANDLE(WINAPI*)(HANDLE);
        if (const auto setContext = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
                GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext"))))
            setContext(g_driverDpiContext);
    }
    HWND window = nullptr;
    for (int waited = 0; waited < 5000 * g_patience && !window; waited += 10) {
        HWND candidate = FindWindowW(dialog::kFormClassName, nullptr);
        if (candidate && IsWindowVisible(candidate)) window = candidate;
        else Sleep(10);
    }
    if (!window) {
        ADD_FAILURE() << "the dialog did not open";
        return 0;
    }
    Dialog dialog(window);
    // Shown and active: its focus is set on activation.
    for (int waited = 0; waited < 3000 * g_patience && dialog.Focus() == -1; waited += 10) Sleep(10);
    (*context->script)(dialog);
    // Whatever the script left open is closed, so the host gets its call back.
    for (int tries = 0; tries < 200 && IsWindow(window); ++tries) {
        if (HWND box = FindMessageBox(window))
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        else if (IsWindowVisible(window))
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(25);
    }
    return 0;
}

}  // namespace

Host& TheHost() { return g_host; }

void SetDriverDpiContext(HANDLE context) { g_driverDpiContext = context; }

void SetPatience(int factor) { g_patience = factor > 1 ? factor : 1; }

void StartHost(HostLib& lib) {
    InitializeCriticalSection(&g_textsLock);
    g_markerTaken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_clickTaken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WNDCLASSW cls{};
    cls.lpfnWndProc = HostProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"YktTestHost";
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&cls);
    g_host.lib = &lib;
    g_host.thread = GetCurrentThreadId();
    g_host.window = CreateWindowExW(0, L"YktTestHost", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200,
                                    nullptr, nullptr, cls.hInstance, nullptr);
    SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, g_host.thread);
    SetWindowsHookExW(WH_CALLWNDPROC, CallWndProcHook, nullptr, g_host.thread);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

int ShowDialog(const std::function<void(Dialog&)>& script) {
    EnterCriticalSection(&g_textsLock);
    g_textsAtClose.clear();
    LeaveCriticalSection(&g_textsLock);
    DriverContext context{&script};
    HANDLE driver = CreateThread(nullptr, 0, DriverMain, &context, 0, nullptr);
    const int result = g_host.lib->api().vbShowParaForm(g_host.window);
    if (WaitForSingleObject(driver, 20000 * g_patience) != WAIT_OBJECT_0) ADD_FAILURE() << "the driver did not finish";
    CloseHandle(driver);
    // Input and markers left over for a dialog that is gone.
    // PeekMessage hands out WM_QUIT whatever the filter: it goes back for the host.
    MSG message;
    bool quit = false;
    WPARAM quitCode = 0;
    for (const auto& [first, last] : {std::pair<UINT, UINT>{WM_KEYFIRST, WM_KEYLAST}, {WM_MOUSEFIRST, WM_MOUSELAST},
                                      {kMarkerMessage, kMarkerMessage}}) {
        while (!quit && PeekMessageW(&message, nullptr, first, last, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                quitCode = message.wParam;
            }
        }
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return result;
}

std::map<int, std::wstring> TextsAtClose() {
    EnterCriticalSection(&g_textsLock);
    std::map<int, std::wstring> texts = g_textsAtClose;
    LeaveCriticalSection(&g_textsLock);
    return texts;
}

std::string Ansi(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int length =
        WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

HWND Dialog::Control(ControlId id) const {
    Search search{window_, id, nullptr};
    EnumChildWindows(window_, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring Dialog::Text(ControlId id) const {
    wchar_t text[512] = {};
    GetWindowTextW(Control(id), text, 512);
    return text;
}

bool Dialog::Enabled(ControlId id) const { return IsWindowEnabled(Control(id)) != FALSE; }

bool Dialog::Checked(ControlId id) const {
    return SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int Dialog::Selection(ControlId id) const { return static_cast<int>(SendMessageW(Control(id), CB_GETCURSEL, 0, 0)); }

bool Dialog::Open() const { return IsWindow(window_) && IsWindowVisible(window_); }

int Dialog::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(g_host.thread, &info) || !info.hwndFocus) return -1;
    HWND focus = info.hwndFocus;
    if (focus == window_) return dialog::kForm;
    if (ClassOf(GetParent(focus)) == L"ComboBox") focus = GetParent(focus);
    if (!IsChild(window_, focus)) return -1;
    return GetDlgCtrlID(focus);
}

void Dialog::Key(WORD virtualKey) const {
    HWND target = KeyboardTarget(window_);
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, virtualKey, scan | 1);
    PostMessageW(target, WM_KEYUP, virtualKey, scan | 1 | (LPARAM(1) << 30) | (LPARAM(1) << 31));
    Settle(window_);
}

void Dialog::Type(std::wstring_view characters) const {
    for (wchar_t c : characters) {
        if (c == L'\b') {  // Backspace is a key of its own
            Key(VK_BACK);
            continue;
        }
        PostMessageW(KeyboardTarget(window_), WM_CHAR, c, 1);
        Settle(window_);
    }
}

void Dialog::ClickWindow(HWND window) {
    HWND root = GetAncestor(window, GA_ROOT);
    if (GetWindow(root, GW_OWNER) && ClassOf(root) == L"#32770") root = GetWindow(root, GW_OWNER);
    RECT box;
    GetWindowRect(window, &box);
    const int x = (box.left + box.right) / 2;
    const int y = (box.top + box.bottom) / 2;
    // Each event carries the position itself: pointer motion that the
    // display reports late must not move the click elsewhere.
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3] = {};
    const DWORD flags[3] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 3; ++i) {
        input[i].type = INPUT_MOUSE;
        input[i].mi.dx = (x * 65536 + width / 2) / width;
        input[i].mi.dy = (y * 65536 + height / 2) / height;
        input[i].mi.dwFlags = flags[i] | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    }
    g_clickWindow = nullptr;
    ResetEvent(g_clickTaken);
    SendInput(3, input, sizeof(INPUT));
    bool taken = false;
    for (int waited = 0; waited < 5000 * g_patience && !taken; waited += 5) {
        taken = WaitForSingleObject(g_clickTaken, 5) == WAIT_OBJECT_0;
        if (!IsWindow(root)) return;
    }
    EXPECT_TRUE(taken) << "the click was not taken";
    HWND hit = g_clickWindow;
    // The control, a part of it, or (when its container is disabled) a container.
    EXPECT_TRUE(hit && (hit == window || IsChild(window, hit) || IsChild(hit, window)))
        << "the click at " << x << "," << y << " went to another window";
    Settle(root);
}

void Dialog::Click(ControlId id) const { ClickWindow(Control(id)); }

void Dialog::SetText(ControlId id, const std::wstring& text) const {
    SendMessageW(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Dialog::WaitHandled() const { ykt::test::Settle(window_); }

void Dialog::PressCloseButton() const {
    PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
    Settle(window_);
}

bool Dialog::MessageBoxShown() const { return FindMessageBox(window_) != nullptr; }

SeenMessageBox Dialog::AnswerMessageBox() const {
    SeenMessageBox seen;
    HWND box = nullptr;
    for (int waited = 0; waited < 5000 * g_patience && !box; waited += 10) {
        box = FindMessageBox(window_);
        if (!box) Sleep(10);
    }
    if (!box) {
        ADD_FAILURE() << "no message box appeared";
        return seen;
    }
    seen.owner = GetWindow(box, GW_OWNER);
    wchar_t text[512] = {};
    GetWindowTextW(box, text, 512);
    seen.title = text;
    HWND okButton = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        const std::wstring cls = ClassOf(child);
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if (cls == L"Button") {
            ++seen.buttons;
            okButton = child;
        } else if (cls == L"Static") {
            if ((style & SS_TYPEMASK) == SS_ICON) {
                if (SendMessageW(child, STM_GETICON, 0, 0)) seen.icon = true;
            } else {
                GetWindowTextW(child, text, 512);
                if (text[0]) seen.text = text;
            }
        }
    }
    if (okButton) ClickWindow(okButton);
    for (int waited = 0; waited < 5000 * g_patience && IsWindow(box); waited += 10) Sleep(10);
    EXPECT_FALSE(IsWindow(box)) << "the message box did not close on OK";
    return seen;
}

bool Dialog::WaitClosed(DWORD timeoutMs) const {
    timeoutMs *= static_cast<DWORD>(g_patience);
    for (DWORD waited = 0; waited < timeoutMs; waited += 10) {
        if (!IsWindow(window_)) return true;
        Sleep(10);
    }
    return !IsWindow(window_);
}

void Dialog::Screenshot(const char* name) const {
    const char* directory = std::getenv("YKT_SHOT_DIR");
    if (!directory || !*directory) return;
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle(window_);
    Sleep(300);  // the display server shows what was drawn
    RECT box;
    GetWindowRect(window_, &box);
    const std::string base = std::string(directory) + "/" + name;
    DeleteFileA((base + ".png").c_str());
    char geometry[64];
    std::snprintf(geometry, sizeof geometry, "%ldx%ld+%ld+%ld", box.right - box.left, box.bottom - box.top, box.left,
                  box.top);
    if (FILE* request = std::fopen((base + ".req.part").c_str(), "w")) {
        std::fputs(geometry, request);
        std::fclose(request);
        MoveFileA((base + ".req.part").c_str(), (base + ".req").c_str());
    }
    for (int waited = 0; waited < 5000; waited += 50) {
        if (GetFileAttributesA((base + ".png").c_str()) != INVALID_FILE_ATTRIBUTES) return;
        Sleep(50);
    }
    std::fprintf(stderr, "screenshot %s was not taken\n", name);
}

}  // namespace ykt::test
