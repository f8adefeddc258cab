/* The floor of a load and a free: a DLL with no runtime at all (no C start-up
 * code, no constructors, an entry point that only returns TRUE) that imports
 * from the same DLLs as Vb_Ykt.dll. What a load of the library costs beyond
 * this is the library's and its runtime's own work. */
#include <windows.h>

#include <stdlib.h>

#include "reader/VendorApi.h"

BOOL WINAPI FloorEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

/* One function of each imported DLL, so that the loader binds them all. */
__declspec(dllexport) void* const floor_imports[] = {
    (void*)GetTickCount, (void*)RegCloseKey, (void*)GetDC,        (void*)GetStockObject,
    (void*)malloc,       (void*)WT_init,     (void*)GetCardState,
};
