// Plays the host and the person in front of the settings dialog: the main
// thread owns a host window and calls vbShowParaForm; a driver thread finds
// the dialog and works it with real keyboard and mouse input.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "HostLib.h"
#include "dialog/ControlIds.h"

namespace ykt::test {

using ykt::dialog::ControlId;

struct SeenMessageBox {
    std::wstring title;
    std::wstring text;
    int buttons = 0;    // visible push buttons
    bool icon = false;  // a visible icon
    HWND owner = nullptr;
};

// The dialog as the driver thread sees it.
class Dialog {
public:
    explicit Dialog(HWND window) : window_(window) {}
    HWND Window() const { return window_; }
    HWND Control(ControlId id) const;

    std::wstring Text(ControlId id) const;
    bool Enabled(ControlId id) const;
    bool Checked(ControlId id) const;
    int Selection(ControlId id) const;  // selected entry of a combo box, -1 for none
    bool EditMode() const { return !Enabled(dialog::idBtMod) && Enabled(dialog::idGrbEdit); }
    bool Open() const;  // still there and shown

    // The control that has the focus: a combo box for its edit, kForm for
    // the dialog itself, -1 for none or a window of another kind.
    int Focus() const;

    // Input, each call returning once the dialog's thread has handled it:
    // keys and typed characters queued for the focused window, real clicks.
    void Key(WORD virtualKey) const;
    void Type(std::wstring_view characters) const;  // each character typed as such
    void Click(ControlId id) const;
    static void ClickWindow(HWND window);
    void SetText(ControlId id, const std::wstring& text) const;  // preparation only, not typing
    void WaitHandled() const;  // returns once everything posted to the dialog's thread so far is handled

    void PressCloseButton() const;  // the title bar's close button
    // Waits for a message box owned by the dialog, reads it and presses OK.
    SeenMessageBox AnswerMessageBox() const;
    bool MessageBoxShown() const;
    bool WaitClosed(DWORD timeoutMs = 5000) const;

    // build/artifacts/NAME.png of the dialog as it is on the screen (when run
    // under tools/with-xvfb.sh).
    void Screenshot(const char* name) const;

private:
    HWND window_;
};

// The host side, set up once for the program by main().
struct Host {
    HostLib* lib = nullptr;
    HWND window = nullptr;
    DWORD thread = 0;
};
Host& TheHost();
void StartHost(HostLib& lib);

// Shows the dialog through vbShowParaForm on the calling (main) thread while
// script works it from a driver thread; returns the export's result. Whatever
// the script leaves open is closed afterwards (message boxes answered, the
// close button pressed), so a failed script never hangs the program.
int ShowDialog(const std::function<void(Dialog&)>& script);

// Texts of the dialog's controls as they were when the dialog was destroyed.
std::map<int, std::wstring> TextsAtClose();

// The display DPI the program was started for (--dpi=N), 0 when not given.
int RequestedDpi();
// The DPI awareness the host thread declared, taken on by the driver thread
// so that both see the dialog's measures alike.
void SetDriverDpiContext(HANDLE context);
// Where everything runs slower, every wait of the driver is this many times longer.
void SetPatience(int factor);

// Code page 936 bytes of a wide text, as the store holds texts.
std::string Ansi(std::wstring_view text);

}  // namespace ykt::test
