#include "dialog/ShowParaForm.h"

#include <memory>

#include "dialog/FormKit.h"
#include "dialog/frmYKTCanShu.h"
#include "platform/Guard.h"

namespace ykt::dialog {

namespace {

const wchar_t* const kTitle = L"一卡通参数配置 [Orlanda：QKT-R7MX-2]";

}  // namespace

int ShowParaForm(HWND owner) {
    // The handle is not checked against anything, but a window cannot be
    // owned by something that is not a window: then the dialog has no owner.
    HWND dialogOwner = IsWindow(owner) ? owner : nullptr;

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
