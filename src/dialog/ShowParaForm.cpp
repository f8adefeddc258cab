#include "ShowParaForm.h"

namespace ykt::dialog {

int ShowParaForm(HWND) { return 0; }

}  // namespace ykt::dialog
