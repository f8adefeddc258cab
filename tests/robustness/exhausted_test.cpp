// A host that has used up what Windows gives a process, or whose reader uses
// up the stack: the library never aborts, every call returns its code, and a
// card that was charged is reported as charged.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "ProcessProbes.h"
#include "Robust.h"

namespace ykt::test {
namespace {

// Every TLS slot the process has left, held until the end of the scope.
class AllTlsSlots {
public:
    AllTlsSlots() {
        for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken_.push_back(slot);
    }
    ~AllTlsSlots() {
        for (DWORD slot : taken_) TlsFree(slot);
    }
    std::size_t count() const { return taken_.size(); }

private:
    std::vector<DWORD> taken_;
};

const Variant& Named(const std::string& name) {
    for (const Variant& v : AllVariants())
        if (v.name == name) return v;
    ADD_FAILURE() << "no variant " << name;
    return AllVariants().front();
}

using Exhausted = HostTest;
YKT_BOTH_MODES(Exhausted);

// The runtime's first exception on a thread needs thread storage: a host
// without a free TLS slot must still get its codes.
TEST_P(Exhausted, NoTlsSlotLeftAfterTheLoad) {
    struct Case {
        const char* variant;
        const char* faulting;
        int result;  // what the host must get
    };
    const Case cases[] = {
        {"vbReadCardNo", "ReadCardNoBeep", 1},
        {"vbDecCard+code", "Decrease", 1},
        {"vbDecCard+code", "ReadCardBeep", 0},  // charged, then the balance read faults
        {"vbDecCard+serial", "ReadCardNoBeep", 1},
        {"vbDecCard+serial", "ReadCardBeep", 0},
        {"vbInitCom", "WT_exit", 1},
    };
    for (const Case& c : cases) {
        const Variant& v = Named(c.variant);
        SCOPED_TRACE(std::string(c.variant) + ", fault in " + c.faulting);
        WriteStore(v);
        dbl_reset();
        dbl_set_fault(c.faulting, kAccessViolation);
        int result;
        std::size_t slots;
        {
            AllTlsSlots all;
            slots = all.count();
            result = CallExport(lib(), v).result;
        }
        EXPECT_EQ(result, c.result) << "with " << slots << " slots taken by the host";
        dbl_reset();
        EXPECT_EQ(CallExport(lib(), v).result, 0) << "once slots are free again";
    }
}

// A load that cannot have its slot fails, and leaves nothing behind.
TEST(ExhaustedLoad, NoTlsSlotMeansNoLoad) {
    // The DLLs the library imports stay loaded, as in a till: the system's
    // open handles of their own at their first load, and the doubles of the
    // vendor libraries carry a static runtime that keeps one at every load.
    for (const char* name : {"user32.dll", "gdi32.dll", "advapi32.dll", "irdll.dll", "BCIdll.dll"})
        ASSERT_NE(LoadLibraryA(name), nullptr) << name;
    // And whatever the system keeps after a first load of any DLL.
    FreeLibrary(LoadLibraryA("Vb_Ykt.dll"));
    const int handlesBefore = OpenHandles();
    HMODULE library;
    DWORD error;
    {
        AllTlsSlots all;
        library = LoadLibraryA("Vb_Ykt.dll");
        error = GetLastError();
    }
    EXPECT_EQ(library, nullptr) << "loaded without a free TLS slot";
    if (library) FreeLibrary(library);
    EXPECT_NE(error, 0u);
    EXPECT_EQ(GetModuleHandleA("Vb_Ykt.dll"), nullptr) << "the failed load left the module mapped";
    EXPECT_EQ(OpenHandles(), handlesBefore) << "handles left open by the failed load";
    // And with a slot to spare it loads as ever.
    library = LoadLibraryA("Vb_Ykt.dll");
    EXPECT_NE(library, nullptr) << "error " << GetLastError();
    if (library) FreeLibrary(library);
}

// Two stack overflows inside the reader on one thread: the second must be
// contained like the first, and the thread must then read as before. Under
// wine64 even the first one ends the thread (its x86_64 dispatcher needs more
// stack than an overflowed thread has left), so the case is the i686
// product's.
#if defined(__i386__)
struct OverflowRun {
    const HostLib* lib;
    const Variant* variant;
    int results[3];
};

DWORD WINAPI OverflowTwice(void* raw) {
    auto* run = static_cast<OverflowRun*>(raw);
    for (int i = 0; i < 2; ++i) {
        dbl_reset();
        dbl_set_fault("ReadCardNoBeep", kStackOverflow);
        run->results[i] = CallExport(*run->lib, *run->variant).result;
    }
    dbl_reset();
    run->results[2] = CallExport(*run->lib, *run->variant).result;
    return 0;
}

TEST_P(Exhausted, StackOverflowTwiceOnOneThread) {
    const Variant& v = Named("vbReadCardNo");
    WriteStore(v);
    // A thread of its own, with a small stack: quick to use up, and the test
    // program's own thread keeps its guard page whatever happens.
    OverflowRun run{&lib(), &v, {-99, -99, -99}};
    HANDLE thread = CreateThread(nullptr, 256 * 1024, OverflowTwice, &run, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 0u) << "the thread ended with 0x" << std::hex << code;
    EXPECT_EQ(run.results[0], 1) << "first overflow";
    EXPECT_EQ(run.results[1], 1) << "second overflow";
    EXPECT_EQ(run.results[2], 0) << "read after both";
}
#endif

}  // namespace
}  // namespace ykt::test
