// borlndmm.dll double: the host runtime's shared memory manager, counting
// live blocks and refusing frees of blocks it never handed out.
#define YKT_DOUBLE_BUILD
#include <windows.h>

#include <set>

#include "DoubleControl.h"

#if defined(__i386__)
#define HOST_CALL __attribute__((regparm(3)))  // EAX, EDX, ECX
#else
#define HOST_CALL
#endif

namespace {
CRITICAL_SECTION g_lock;
std::set<void*>* g_live;
int g_badFrees;
int g_totalGets;
// bmm_fail_after: gets still granted before every later one fails, and how.
int g_getsLeft = -1;  // -1: never fail
int g_failure = kAllocNull;

struct Init {
    Init() {
        InitializeCriticalSection(&g_lock);
        g_live = new std::set<void*>;
    }
} g_init;

struct Locked {
    Locked() { EnterCriticalSection(&g_lock); }
    ~Locked() { LeaveCriticalSection(&g_lock); }
};
}  // namespace

extern "C" {

HOST_CALL void* BorlndmmGetMem(int size) {
    if (g_getsLeft == 0) {
        // Outside the lock, as a manager whose own bookkeeping is broken.
        if (g_failure == kAllocFault) *static_cast<volatile int*>(nullptr) = 1;
        return nullptr;
    }
    if (g_getsLeft > 0) --g_getsLeft;
    Locked lock;
    void* block = HeapAlloc(GetProcessHeap(), 0, size > 0 ? size : 1);
    // Poison the fresh block so a caller that forgets to fill a field shows it.
    FillMemory(block, size > 0 ? size : 1, 0xCD);
    g_live->insert(block);
    ++g_totalGets;
    return block;
}

HOST_CALL int BorlndmmFreeMem(void* block) {
    Locked lock;
    if (!g_live->erase(block)) {
        ++g_badFrees;
        return 1;
    }
    HeapFree(GetProcessHeap(), 0, block);
    return 0;
}

HOST_CALL void* BorlndmmReallocMem(void* block, int size) {
    Locked lock;
    if (!g_live->erase(block)) {
        ++g_badFrees;
        return nullptr;
    }
    void* moved = HeapReAlloc(GetProcessHeap(), 0, block, size > 0 ? size : 1);
    g_live->insert(moved ? moved : block);
    return moved;
}

YKT_DOUBLE_API int bmm_live_blocks(void) {
    Locked lock;
    return static_cast<int>(g_live->size());
}
YKT_DOUBLE_API int bmm_bad_frees(void) { return g_badFrees; }
YKT_DOUBLE_API void bmm_fail_after(int gets, int failure) {
    g_getsLeft = gets;
    g_failure = failure;
}
YKT_DOUBLE_API int bmm_total_gets(void) { return g_totalGets; }

}  // extern "C"
