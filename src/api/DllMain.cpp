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

// Nothing happens at load but the choice of the string allocator and the
// runtime's thread storage: no settings are read, no device is opened, no
// window is created. A process without a free TLS slot cannot load the
// library: its first exception would otherwise have nowhere to go. Thread
// notifications stay on: a thread that called the library gives its runtime
// storage back when it ends.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            // On FALSE the start-up code calls us again with DLL_PROCESS_DETACH,
            // which gives back what the attach took.
            if (!ykt::runtime::AttachThreadStorage()) return FALSE;
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

// MinGW's start-up code calls the thread-local initialisers of the image
// through this pointer; its own definition brings the TLS directory with it.
// The library has no such initialisers (its runtime's thread storage is ours
// and needs none), and an image with a TLS directory costs every load and
// free: Windows and Wine then give each thread of the process a TLS block
// for the module and take it back again.
extern "C" const PIMAGE_TLS_CALLBACK __dyn_tls_init_callback = nullptr;
