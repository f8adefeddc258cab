// What a host can see of the process from the outside: beside memory and
// handles (ProcessProbes.h), running threads, and the floating-point, error-mode
// and locale state of the calling thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "ProcessProbes.h"

namespace ykt::test {

// Threads of this process.
int ThreadCount();
// ThreadCount, given a moment to drop to expected.
int ThreadCountSettled(int expected);

struct FloatState {
    unsigned short x87;  // x87 control word
    unsigned mxcsr;      // SSE control and status, status flags masked off
    bool operator==(const FloatState& other) const { return x87 == other.x87 && mxcsr == other.mxcsr; }
};
FloatState CurrentFloatState();
// Loads both control words; the x87 word reads back with its reserved bit 6 set.
void SetFloatState(const FloatState& state);
std::string Describe(const FloatState& state);

// The thread's float state as a new thread begins with it.
FloatState FloatStateOfANewThread();

// The error mode, thread locale and C runtime locale of the calling thread.
struct RuntimeState {
    UINT errorMode;
    LCID threadLocale;
    std::string crtLocale;
    bool operator==(const RuntimeState& other) const {
        return errorMode == other.errorMode && threadLocale == other.threadLocale && crtLocale == other.crtLocale;
    }
};
RuntimeState CurrentRuntimeState();
std::string Describe(const RuntimeState& state);

}  // namespace ykt::test
