// i686 only: calls a function with its arguments pushed right to left, as a
// __stdcall caller does, with known values in the callee-saved registers, and
// reports what the call left behind. A __stdcall function pops its own
// arguments and restores EBX, ESI, EDI and EBP, also when a fault inside it
// was caught.
#pragma once

#if defined(__i386__)

namespace ykt::test {

struct CheckedCall {
    int result = -99;
    // EBX 1, ESI 2, EDI 4, EBP 8 came back changed; 16: the stack pointer moved.
    unsigned registersChanged = 0;
    int stackLeft = 0;  // bytes the callee left on the stack (not popped)
};

CheckedCall CallChecked(void* fn, int n, const void* const* args);

}  // namespace ykt::test

#endif
