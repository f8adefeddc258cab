// The settings dialog as the export vbShowParaForm shows it.
#pragma once

#include <windows.h>

namespace ykt::dialog {

// Shows the settings dialog modally over owner and returns 0 when it closes.
int ShowParaForm(HWND owner);

}  // namespace ykt::dialog
