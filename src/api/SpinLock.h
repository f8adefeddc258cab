// The lock of the runtime's replacement parts. It needs no initialisation
// (the runtime's static constructors may take it before DllMain has run) and
// nothing newer than Windows XP. A waiter yields instead of spinning hot, and
// soon sleeps: on a single-CPU till Sleep(0) would only hand the processor to
// threads of the waiter's own priority, so a higher-priority waiter could
// starve the lower-priority holder for seconds.
#pragma once

#include <windows.h>

namespace ykt::runtime {

class SpinLock {
public:
    constexpr SpinLock() = default;
    void Lock() {
        for (unsigned attempt = 0; InterlockedCompareExchange(&state_, 1, 0) != 0; ++attempt) {
            if (attempt < kYields)
                SwitchToThread();
            else
                Sleep(1);  // lets threads of every priority run
        }
    }
    void Unlock() { InterlockedExchange(&state_, 0); }

private:
    static constexpr unsigned kYields = 4;
    volatile LONG state_ = 0;
};

class Locked {
public:
    explicit Locked(SpinLock& lock) : lock_(lock) { lock_.Lock(); }
    ~Locked() { lock_.Unlock(); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

private:
    SpinLock& lock_;
};

}  // namespace ykt::runtime
