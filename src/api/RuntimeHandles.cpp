// The static runtime's semaphores (its mutexes in the win32 thread model),
// watched so that unloading the library can close the ones the runtime never
// closes: on i686 the unwinder creates the lock of its frame tables at every
// load and keeps it. The runtime's calls to CreateSemaphoreW and CloseHandle
// are bound here instead of to kernel32 directly.
#include "api/RuntimeHandles.h"

#include <windows.h>

#include "api/SpinLock.h"

namespace ykt::runtime {
namespace {

constexpr int kTracked = 16;
HANDLE g_open[kTracked];    // created by the runtime, not closed yet
HANDLE g_closed[kTracked];  // closed at unload; the runtime may still close them
SpinLock g_lock;

template <class Fn>
Fn Kernel32(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

using CreateSemaphoreFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);

// Looked up on first use, without a guarded static: the runtime's guards
// may themselves need a semaphore.
CreateSemaphoreFn g_create = nullptr;
CloseHandleFn g_close = nullptr;

CloseHandleFn RealCloseHandle() {
    if (!g_close) g_close = Kernel32<CloseHandleFn>("CloseHandle");
    return g_close;
}

bool Take(HANDLE (&list)[kTracked], HANDLE handle) {
    for (HANDLE& entry : list)
        if (entry == handle) {
            entry = nullptr;
            return true;
        }
    return false;
}

void Put(HANDLE (&list)[kTracked], HANDLE handle) {
    for (HANDLE& entry : list)
        if (!entry) {
            entry = handle;
            return;
        }
}

HANDLE WINAPI CreateRuntimeSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
    if (!g_create) g_create = Kernel32<CreateSemaphoreFn>("CreateSemaphoreW");
    HANDLE semaphore = g_create(attributes, initial, maximum, name);
    if (semaphore) {
        Locked lock(g_lock);
        Put(g_open, semaphore);
    }
    return semaphore;
}

BOOL WINAPI CloseRuntimeHandle(HANDLE handle) {
    {
        Locked lock(g_lock);
        // Already closed when the library was freed: the value may belong to
        // someone else by now.
        if (Take(g_closed, handle)) return TRUE;
        Take(g_open, handle);
    }
    return RealCloseHandle()(handle);
}

}  // namespace

void CloseRuntimeHandles() {
    Locked lock(g_lock);
    for (HANDLE& semaphore : g_open)
        if (semaphore) {
            RealCloseHandle()(semaphore);
            Put(g_closed, semaphore);
            semaphore = nullptr;
        }
}

}  // namespace ykt::runtime

// The import-table entries the runtime's calls go through.
#if defined(__i386__)
#define YKT_IMPORT_ENTRY(name, bytes) __asm__("__imp__" #name "@" #bytes)
#else
#define YKT_IMPORT_ENTRY(name, bytes) __asm__("__imp_" #name)
#endif
extern "C" {
HANDLE(WINAPI* ykt_import_create_semaphore)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR)
    YKT_IMPORT_ENTRY(CreateSemaphoreW, 16) = ykt::runtime::CreateRuntimeSemaphore;
BOOL(WINAPI* ykt_import_close_handle)(HANDLE) YKT_IMPORT_ENTRY(CloseHandle, 4) = ykt::runtime::CloseRuntimeHandle;
}
