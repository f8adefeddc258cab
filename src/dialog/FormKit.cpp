#include "dialog/FormKit.h"

#include <vector>

#include "platform/Guard.h"
#include "platform/WideText.h"

namespace ykt::dialog {

std::wstring FromAnsi(std::string_view text) { return ToWide(text, CP_ACP); }

std::string ToAnsi(std::wstring_view text) { return FromWide(text, CP_ACP); }

std::size_t ByteLength(std::wstring_view text) {
    if (text.empty()) return 0;
    return static_cast<std::size_t>(WideCharToMultiByte(936, 0, text.data(), static_cast<int>(text.size()),
                                                        nullptr, 0, nullptr, nullptr));
}

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

std::string AnsiWindowText(HWND window) { return ToAnsi(WindowText(window)); }

void SetAnsiWindowText(HWND window, std::string_view text) { SetWindowTextW(window, FromAnsi(text).c_str()); }

HINSTANCE ModuleInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ModuleInstance), &module);
    return module;
}

bool IsChildNotification(UINT message) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case WM_COMPAREITEM:
        case WM_DELETEITEM:
        case WM_VKEYTOITEM:
        case WM_CHARTOITEM:
            return true;
        default:
            return false;
    }
}

namespace {

// Characters a container is given go up to the dialog's key preview.
bool GoesToParent(UINT message) { return IsChildNotification(message) || message == WM_CHAR || message == WM_IME_CHAR; }

// Runs a window procedure's own work under a guard: nothing it throws or
// raises crosses the window system's frames. False when it failed.
template <class F>
bool Contained(F&& work) {
    return ykt::Guarded([&] { work(); }) == 0;
}

LRESULT ContainerMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (GoesToParent(message)) {
        if (HWND parent = GetParent(window)) return SendMessageW(parent, message, wParam, lParam);
    }
    if (message == WM_PAINT) {
        // A panel shows its caption centred; the scroll box has none.
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        const std::wstring caption = WindowText(window);
        if (!caption.empty()) {
            RECT client;
            GetClientRect(window, &client);
            HGDIOBJ oldFont =
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &client,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE);
            SelectObject(dc, oldFont);
        }
        EndPaint(window, &paint);
        return 0;
    }
    if (message == WM_SETFONT) {
        SetPropW(window, L"YktFont", reinterpret_cast<HANDLE>(wParam));
        if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
        return 0;
    }
    if (message == WM_GETFONT) return reinterpret_cast<LRESULT>(GetPropW(window, L"YktFont"));
    if (message == WM_NCDESTROY) RemovePropW(window, L"YktFont");
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (Contained([&] { result = ContainerMessage(window, message, wParam, lParam); })) return result;
    // A paint that failed is validated all the same, or it would come back at once.
    if (message == WM_PAINT) ValidateRect(window, nullptr);
    return 0;
}

const wchar_t* const kOriginalProc = L"YktOriginalProc";

LRESULT CALLBACK ForwardingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(window, kOriginalProc));
    // Whatever of these reaches the control comes from one of its children.
    if (GoesToParent(message)) {
        LRESULT result = 0;
        Contained([&] {
            if (HWND parent = GetParent(window)) result = SendMessageW(parent, message, wParam, lParam);
        });
        return result;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(window, kOriginalProc);
    }
    return CallWindowProcW(original, window, message, wParam, lParam);
}

}  // namespace

void RegisterFaceClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = procedure;
    cls.hInstance = ModuleInstance();
    cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = name;
    RegisterClassExW(&cls);  // fails harmlessly when still registered
}

void RegisterContainerClasses() {
    for (const wchar_t* name : {kPanelClass, kScrollBoxClass}) RegisterFaceClass(name, ContainerProc);
}

void UnregisterContainerClasses() {
    UnregisterClassW(kPanelClass, ModuleInstance());
    UnregisterClassW(kScrollBoxClass, ModuleInstance());
}

void ForwardChildNotifications(HWND control) {
    if (GetPropW(control, kOriginalProc)) return;
    SetPropW(control, kOriginalProc, reinterpret_cast<HANDLE>(GetWindowLongPtrW(control, GWLP_WNDPROC)));
    SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ForwardingProc));
}

int LayoutDpi(HWND window) {
    // GetDpiForWindow exists from Windows 10 1607 on; before it, a DPI-aware
    // process sees the system DPI in the screen's device context.
    using IsAwareFn = BOOL(WINAPI*)();
    using DpiForWindowFn = UINT(WINAPI*)(HWND);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return 96;
    const auto isAware = reinterpret_cast<IsAwareFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "IsProcessDPIAware")));
    if (!isAware || !isAware()) return 96;
    int dpi = 0;
    if (const auto dpiForWindow = reinterpret_cast<DpiForWindowFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow"))))
        dpi = static_cast<int>(dpiForWindow(window));
    if (dpi <= 0) {
        HDC screen = GetDC(nullptr);
        dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
    return dpi > 96 ? dpi : 96;
}

}  // namespace ykt::dialog

namespace ykt::dialog {

namespace {

struct DisableContext {
    HWND modal;
    std::vector<HWND>* disabled;
};

BOOL CALLBACK DisableOne(HWND window, LPARAM raw) {
    auto* context = reinterpret_cast<DisableContext*>(raw);
    if (window == context->modal || !IsWindowVisible(window) || !IsWindowEnabled(window)) return TRUE;
    // Only a window that can be enabled again is disabled.
    try {
        context->disabled->push_back(window);
    } catch (...) {
        return FALSE;
    }
    EnableWindow(window, FALSE);
    return TRUE;
}

}  // namespace

void ModalDisabler::Disable(HWND modal, HWND owner) {
    DisableContext context{modal, &disabled_};
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&context));
    // The owner may live on another thread of the host.
    if (owner && IsWindow(owner) && IsWindowEnabled(owner)) {
        disabled_.push_back(owner);
        EnableWindow(owner, FALSE);
    }
}

void ModalDisabler::Restore() {
    for (HWND window : disabled_)
        if (IsWindow(window)) EnableWindow(window, TRUE);
    disabled_.clear();
}

}  // namespace ykt::dialog
