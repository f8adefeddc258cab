#include "dialog/ShowParaForm.h"

#include <memory>

#include "dialog/FormKit.h"
#include "dialog/frmYKTCanShu.h"
#include "platform/Guard.h"

namespace ykt::dialog {

namespace {

const wchar_t* const kTitle = L"一卡通参数配置 [Orlanda：QKT-R7MX-2]";

// A window of the dialog's classes that survived an interrupted creation
// would keep the classes registered.
BOOL CALLBACK DestroyLeftOver(HWND window, LPARAM) {
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (lstrcmpiW(name, kFormClassName) == 0) DestroyWindow(window);
    return TRUE;
}

}  // namespace

int ShowParaForm(HWND owner) {
    // The host window owns the dialog and its message boxes. The handle is
    // not checked against anything, but a window cannot be owned by
    // something that is not a window: then the dialog has no owner.
    HWND dialogOwner = IsWindow(owner) ? owner : nullptr;

    ModalDisabler disabler;
    bool quit = false;
    WPARAM quitCode = 0;
    std::unique_ptr<TYKTCanShu> form;
    // The handlers guard themselves; this catches what fails outside them
    // (creating a window, showing the dialog), so that nothing reaches the host.
    const unsigned long fault = ykt::Guarded([&] {
        form = std::make_unique<TYKTCanShu>(dialogOwner);
        form->SetCaption(kTitle);
        form->ShowModal(disabler, quit, quitCode);
    });
    disabler.Restore();
    form.reset();
    if (fault != 0) EnumThreadWindows(GetCurrentThreadId(), DestroyLeftOver, 0);
    UnregisterClassW(kFormClassName, ModuleInstance());
    UnregisterContainerClasses();
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return 0;
}

}  // namespace ykt::dialog
