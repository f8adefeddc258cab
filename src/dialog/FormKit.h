// Plain Win32 pieces the settings dialog is built from: text between the
// Unicode controls and the ANSI store, container windows that pass their
// children's notifications up to the dialog, and the display scale.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace ykt::dialog {

// Texts move between controls and the store through the system ANSI code
// page (936 on the tills), so stored bytes stay what existing installations
// wrote and read.
std::wstring FromAnsi(std::string_view text);
std::string ToAnsi(std::wstring_view text);
// Bytes the text takes in code page 936, in which the length limits of the
// boxes are given (a Chinese character counts 2).
std::size_t ByteLength(std::wstring_view text);

std::wstring WindowText(HWND window);
std::string AnsiWindowText(HWND window);
void SetAnsiWindowText(HWND window, std::string_view text);

// The module the dialog's code lives in (the library, not the host).
HINSTANCE ModuleInstance();

// Registers a window class of this module with the button-face background.
void RegisterFaceClass(const wchar_t* name, WNDPROC procedure);

// Window classes of the panels and the scroll box. They draw nothing but the
// button face (and a panel's caption) and forward WM_COMMAND, WM_NOTIFY and
// WM_CTLCOLOR* of their children to their own parent.
inline constexpr const wchar_t* kPanelClass = L"TPanel";
inline constexpr const wchar_t* kScrollBoxClass = L"TScrollBox";
void RegisterContainerClasses();
void UnregisterContainerClasses();

// Makes a standard control that holds children (a group box) forward its
// children's notifications the same way.
void ForwardChildNotifications(HWND control);

// True for the messages a container passes up to its parent.
bool IsChildNotification(UINT message);

// Dots per inch to lay the dialog out for: the window's DPI when the process
// is DPI-aware and the window's DPI is above 96, else 96.
int LayoutDpi(HWND window);

}  // namespace ykt::dialog

namespace ykt::dialog {

// While a modal window is up, the calling thread's other visible top-level
// windows and the modal window's owner take no input; Restore (or the
// destructor) enables again exactly the windows that were disabled.
class ModalDisabler {
public:
    ModalDisabler() = default;
    ~ModalDisabler() { Restore(); }
    ModalDisabler(const ModalDisabler&) = delete;
    ModalDisabler& operator=(const ModalDisabler&) = delete;

    void Disable(HWND modal, HWND owner);
    void Restore();

private:
    std::vector<HWND> disabled_;
};

}  // namespace ykt::dialog
