#include "ShowParaForm.h"

#include <memory>

#include "FormKit.h"
#include "frmYKTCanShu.h"
#include "reader/Guard.h"

namespace ykt::dialog {

namespace {

const wchar_t* const kTitle = L"一卡通参数配置 [Orlanda：QKT-R7MX-2]";

// The owner of the library's top-level windows. Each call installs the host
// window it is given, and it stays installed after the call returns.
HWND g_ownerWindow = nullptr;

}  // namespace

int ShowParaForm(HWND owner) {
    g_ownerWindow = owner;
    // The handle is not checked against anything, but a window cannot be
    // owned by something that is not a window: then the dialog has no owner.
    HWND dialogOwner = IsWindow(g_ownerWindow) ? g_ownerWindow : nullptr;

    ModalDisabler disabler;
    bool quit = false;
    WPARAM quitCode = 0;
    std::unique_ptr<TYKTCanShu> form;
    // Whatever interrupts the display, C++ or structured exception, the host's
    // windows are enabled again and the dialog is destroyed below.
    ykt::Guarded([&] {
        form = std::make_unique<TYKTCanShu>(dialogOwner);
        form->SetCaption(kTitle);
        form->ShowModal(disabler, quit, quitCode);
    });
    disabler.Restore();
    form.reset();
    UnregisterClassW(kFormClassName, ModuleInstance());
    UnregisterContainerClasses();
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return 0;
}

}  // namespace ykt::dialog
