#include <windows.h>

#include "api/HostString.h"
#include "api/RuntimeHandles.h"
#include "api/ThreadStorage.h"

namespace __gnu_cxx {
// libsupc++: frees the emergency pool that exceptions fall back on when
// malloc fails. It is allocated when the runtime starts and otherwise kept
// until the process ends.
void __freeres() noexcept;
}  // namespace __gnu_cxx

// Nothing happens at load but the choice of the string allocator: no settings
// are read, no device is opened, no window is created. Thread notifications
// stay on: a thread that called the library gives its runtime storage back
// when it ends.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            ykt::host::AdoptAllocator();
            break;
        case DLL_THREAD_DETACH:
            ykt::runtime::ReleaseThread();
            break;
        case DLL_PROCESS_DETACH:
            // FreeLibrary: hosts that load the library per transaction would
            // otherwise lose all of this at every unload. At process exit
            // (reserved set) it goes with the process, and other threads may
            // have been stopped anywhere: nothing is touched then.
            if (reserved == nullptr) {
                ykt::runtime::ReleaseAll();
                __gnu_cxx::__freeres();
                ykt::runtime::CloseRuntimeHandles();
            }
            break;
    }
    return TRUE;
}
