// GoogleTest's port customisation for the win32 thread model, found before
// GoogleTest's own (empty) one. That runtime has no std::mutex or
// std::condition_variable, which GoogleTest's Notification is built on;
// everything else GoogleTest synchronises with Win32 primitives already.
// Notification only holds back threads that GoogleTest's own ThreadWithParam
// starts, which our tests do not use: a flag the waiter polls is enough.
#ifndef GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#define GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : notified_(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { __atomic_store_n(&notified_, true, __ATOMIC_RELEASE); }
    void WaitForNotification() {
        while (!__atomic_load_n(&notified_, __ATOMIC_ACQUIRE)) __builtin_ia32_pause();
    }

private:
    bool notified_;
};

}  // namespace internal
}  // namespace testing

#endif  // GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
