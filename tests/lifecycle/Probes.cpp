#include "Probes.h"

#include <tlhelp32.h>

#include <clocale>
#include <cstdio>

namespace ykt::test {

int ThreadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    int count = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++count;
    CloseHandle(snapshot);
    return count;
}

int ThreadCountSettled(int expected) {
    // A thread that has just ended can still be listed for a moment.
    int count = ThreadCount();
    for (int i = 0; i < 100 && count > expected; ++i) {
        Sleep(20);
        count = ThreadCount();
    }
    return count;
}

namespace {
constexpr unsigned kMxcsrStatusFlags = 0x3F;
}

FloatState CurrentFloatState() {
    FloatState state{};
    __asm__ __volatile__("fnstcw %0" : "=m"(state.x87));
    __asm__ __volatile__("stmxcsr %0" : "=m"(state.mxcsr));
    state.mxcsr &= ~kMxcsrStatusFlags;
    return state;
}

void SetFloatState(const FloatState& state) {
    unsigned short x87 = state.x87;
    unsigned mxcsr = state.mxcsr;
    __asm__ __volatile__("fnclex\n\tfldcw %0" : : "m"(x87));
    __asm__ __volatile__("ldmxcsr %0" : : "m"(mxcsr));
}

std::string Describe(const FloatState& state) {
    char text[48];
    std::snprintf(text, sizeof text, "x87 %#06x, MXCSR %#06x", state.x87, state.mxcsr);
    return text;
}

namespace {
DWORD WINAPI RecordFloatState(void* out) {
    *static_cast<FloatState*>(out) = CurrentFloatState();
    return 0;
}
}  // namespace

FloatState FloatStateOfANewThread() {
    FloatState seen{};
    HANDLE thread = CreateThread(nullptr, 0, RecordFloatState, &seen, 0, nullptr);
    if (!thread) return {0, 0};
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return seen;
}

RuntimeState CurrentRuntimeState() {
    RuntimeState state;
    state.errorMode = SetErrorMode(0);
    SetErrorMode(state.errorMode);
    state.threadLocale = GetThreadLocale();
    const char* locale = std::setlocale(LC_ALL, nullptr);
    state.crtLocale = locale ? locale : "<null>";
    return state;
}

std::string Describe(const RuntimeState& state) {
    char text[64];
    std::snprintf(text, sizeof text, "error mode %#x, thread locale %#lx, C locale ", state.errorMode,
                  static_cast<unsigned long>(state.threadLocale));
    return text + state.crtLocale;
}

}  // namespace ykt::test
