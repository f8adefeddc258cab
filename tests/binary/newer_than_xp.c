/* Images that 32-bit Windows XP would refuse, and one it would load: the XP
   checker must name every reason, and none for the clean one. NEWER_IMPORT
   (a DLL) imports a kernel32 function that XP lacks; BAD_IMAGE (a program)
   imports comctl32 by name and is linked with a Vista subsystem version, the
   NO_SEH flag and no relocations; CLEAN (a DLL) has neither fault. */
#define _WIN32_WINNT 0x0600
#include <windows.h>
#include <commctrl.h>

#ifdef NEWER_IMPORT
__declspec(dllexport) ULONGLONG Uptime(void) { return GetTickCount64(); }
#elif defined(BAD_IMAGE)
__declspec(dllexport) BOOL Controls(void) {
    INITCOMMONCONTROLSEX init = {sizeof init, ICC_STANDARD_CLASSES};
    return InitCommonControlsEx(&init);
}
int main(void) { return Controls() ? 0 : 1; }
#else
__declspec(dllexport) DWORD Uptime(void) { return GetTickCount(); }
#endif
