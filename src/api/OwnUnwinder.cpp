// The library's unwind tables belong to its own static unwinder, whatever
// else the host's process holds. MinGW's start-up code (crtbegin) registers
// them, when the library loads, with the shared runtime's unwinder instead
// if any module of the process has loaded libgcc_s_dw2-1.dll: it asks
// GetModuleHandleA for that DLL and, when it is there, takes a reference on
// it and calls its registration. But the library's throws are unwound by
// its static copy, which then finds no tables for the library's frames, and
// the runtime aborts the host at the first exception, even one after the
// card was charged. The start-up code's call goes through the import cell
// bound here, which answers that the shared runtime is not loaded; the
// tables then go to the static unwinder, and no reference is taken on (nor,
// at unload, given back to) a module the library did not load. Every other
// name is looked up as usual. x86_64 images unwind through the system's
// tables and their start-up code does not ask.
#include <windows.h>

#include <cstddef>

#if defined(__i386__)

namespace {

using GetModuleHandleAFn = HMODULE(WINAPI*)(LPCSTR);

// Looked up on first use: the start-up code calls before any constructor of ours.
GetModuleHandleAFn g_real = nullptr;

bool IsSharedRuntime(const char* name) {
    static const char kSharedRuntime[] = "libgcc_s_dw2-1.dll";
    for (std::size_t i = 0; i < sizeof kSharedRuntime; ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kSharedRuntime[i]) return false;
    }
    return true;
}

HMODULE WINAPI ModuleHandleOf(LPCSTR name) {
    if (name && IsSharedRuntime(name)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (!g_real)
        g_real = reinterpret_cast<GetModuleHandleAFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetModuleHandleA")));
    return g_real(name);
}

}  // namespace

// The import-table entry the start-up code's call goes through.
extern "C" HMODULE(WINAPI* ykt_import_module_handle_a)(LPCSTR) __asm__("__imp__GetModuleHandleA@4") =
    ModuleHandleOf;

#endif
