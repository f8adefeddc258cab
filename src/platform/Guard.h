// Calls into the vendor libraries (and the exports' own bodies) run under a
// guard, so that an access violation or a foreign exception raised inside
// them ends the call with a code instead of taking the host process down.
#pragma once

#include <cstdint>
#include <stdexcept>

namespace ykt {

// Runs fn(context). Returns 0 when fn returned normally, otherwise the code of
// the structured exception that ended it (never 0). Frames between the guard
// and the fault are unwound; their destructors are not run.
unsigned long CallGuarded(void (*fn)(void*), void* context);

// A C++ exception that escaped the guarded function.
constexpr unsigned long kCppExceptionCode = 0xE0594B54;  // 'YKT'
// Raised where the C++ runtime would call abort(): std::terminate's handler.
constexpr unsigned long kRuntimeAbortCode = 0xE0594B55;

// Runs f() under the guard; C++ exceptions thrown by f are caught at the
// guard's edge so that none ever crosses it. Returns 0 or a fault code.
template <class F>
unsigned long Guarded(F&& f) {
    struct Context {
        F* f;
        bool threw;
    } context{&f, false};
    const unsigned long fault = CallGuarded(
        [](void* raw) {
            auto* c = static_cast<Context*>(raw);
            try {
                (*c->f)();
            } catch (...) {
                c->threw = true;
            }
        },
        &context);
    if (fault != 0) return fault;
    return context.threw ? kCppExceptionCode : 0;
}

// Thrown in place of a structured exception raised inside a vendor function.
class VendorFault : public std::runtime_error {
public:
    VendorFault(const char* function, unsigned long code);
    unsigned long code() const { return code_; }

private:
    unsigned long code_;
};

}  // namespace ykt
