#include <windows.h>

#include "api/HostString.h"

// Nothing happens at load but the choice of the string allocator: no settings
// are read, no device is opened, no window is created.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        ykt::host::AdoptAllocator();
    }
    return TRUE;
}
