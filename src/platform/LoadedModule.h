// A module of the process found by its file name, without a search.
#pragma once

#include <windows.h>

namespace ykt {

// The loaded module whose file name (without folder) is name, compared
// without regard to case; null when none is loaded. Windows' GetModuleHandle
// answers the same from the same list, but Wine's first searches the DLL path
// on disk for the file (opening and mapping it when it is there), a cost that
// a host loading the library per transaction pays at every load. Call it with
// the loader lock held, as in DllMain: the list does not change meanwhile.
HMODULE LoadedModule(const wchar_t* name);

}  // namespace ykt
