// The runtime's per-thread storage (GCC's emulated thread-local storage, which
// the C++ runtime uses for each thread's exception state), kept so that it
// can be given back: the runtime's own version holds a TLS slot and a
// semaphore for good and frees a thread's storage only through thread
// callbacks of its own. Here one TLS slot serves every object; a thread's
// storage is freed when the thread ends, and everything, slot included, when
// the library is freed.
#include "api/ThreadStorage.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The layout GCC gives every thread-local variable it emulates.
extern "C" struct __emutls_object {
    std::size_t size;
    std::size_t align;
    union {
        std::size_t offset;  // 0 until the object has an index
        void* ptr;
    } loc;
    void* templ;  // initial value, or null for zeros
};

namespace ykt::runtime {
namespace {

// One thread's objects, linked into the list of all threads that have any.
struct ThreadBlock {
    ThreadBlock* next;
    ThreadBlock* prev;
    std::size_t count;
    void* objects[1];  // count entries
};

// Usable before DllMain has run (static constructors of the runtime may
// already need thread storage) and without anything to create or destroy.
volatile LONG g_lock = 0;
DWORD g_slot = TLS_OUT_OF_INDEXES;
std::size_t g_indices = 0;
ThreadBlock* g_threads = nullptr;

struct Locked {
    Locked() {
        while (InterlockedCompareExchange(&g_lock, 1, 0) != 0) Sleep(0);
    }
    ~Locked() { InterlockedExchange(&g_lock, 0); }
};

void* Allocate(std::size_t size) {
    void* block = HeapAlloc(GetProcessHeap(), 0, size);
    if (!block) std::abort();  // as the runtime's own version does
    return block;
}

void Free(void* block) { HeapFree(GetProcessHeap(), 0, block); }

// An object aligned as asked, with the start of its block just in front.
void* NewObject(const __emutls_object* obj) {
    const std::size_t align = obj->align > sizeof(void*) ? obj->align : sizeof(void*);
    char* raw = static_cast<char*>(Allocate(obj->size + align + sizeof(void*)));
    const auto at = (reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*) + align - 1) & ~(align - 1);
    void* object = reinterpret_cast<void*>(at);
    static_cast<void**>(object)[-1] = raw;
    if (obj->templ)
        std::memcpy(object, obj->templ, obj->size);
    else
        std::memset(object, 0, obj->size);
    return object;
}

void FreeBlock(ThreadBlock* block) {
    for (std::size_t i = 0; i < block->count; ++i)
        if (block->objects[i]) Free(static_cast<void**>(block->objects[i])[-1]);
    Free(block);
}

void Unlink(ThreadBlock* block) {
    if (block->prev)
        block->prev->next = block->next;
    else
        g_threads = block->next;
    if (block->next) block->next->prev = block->prev;
}

// The calling thread's block with room for index objects.
ThreadBlock* BlockFor(std::size_t index) {
    auto* block = static_cast<ThreadBlock*>(TlsGetValue(g_slot));
    if (block && block->count >= index) return block;
    const std::size_t count = index < 8 ? 8 : index * 2;
    auto* grown = static_cast<ThreadBlock*>(Allocate(offsetof(ThreadBlock, objects) + count * sizeof(void*)));
    std::memset(grown, 0, offsetof(ThreadBlock, objects) + count * sizeof(void*));
    grown->count = count;
    Locked lock;
    if (block) {
        std::memcpy(grown->objects, block->objects, block->count * sizeof(void*));
        Unlink(block);
        Free(block);
    }
    grown->next = g_threads;
    if (g_threads) g_threads->prev = grown;
    g_threads = grown;
    TlsSetValue(g_slot, grown);
    return grown;
}

}  // namespace

void ReleaseThread() {
    if (g_slot == TLS_OUT_OF_INDEXES) return;
    const DWORD error = GetLastError();
    auto* block = static_cast<ThreadBlock*>(TlsGetValue(g_slot));
    if (block) {
        TlsSetValue(g_slot, nullptr);
        {
            Locked lock;
            Unlink(block);
        }
        FreeBlock(block);
    }
    SetLastError(error);
}

void ReleaseAll() {
    Locked lock;
    while (g_threads) {
        ThreadBlock* block = g_threads;
        g_threads = block->next;
        FreeBlock(block);
    }
    if (g_slot != TLS_OUT_OF_INDEXES) TlsFree(g_slot);
    g_slot = TLS_OUT_OF_INDEXES;
}

}  // namespace ykt::runtime

using namespace ykt::runtime;

extern "C" void* __emutls_get_address(void* raw) {
    auto* obj = static_cast<__emutls_object*>(raw);
    // The host's last error survives, as around every TLS access of the runtime.
    const DWORD error = GetLastError();
    std::size_t index = __atomic_load_n(&obj->loc.offset, __ATOMIC_ACQUIRE);
    if (index == 0 || g_slot == TLS_OUT_OF_INDEXES) {
        Locked lock;
        if (g_slot == TLS_OUT_OF_INDEXES) {
            g_slot = TlsAlloc();
            if (g_slot == TLS_OUT_OF_INDEXES) std::abort();
        }
        index = obj->loc.offset;
        if (index == 0) {
            index = ++g_indices;
            __atomic_store_n(&obj->loc.offset, index, __ATOMIC_RELEASE);
        }
    }
    ThreadBlock* block = BlockFor(index);
    void*& object = block->objects[index - 1];
    if (!object) object = NewObject(obj);
    SetLastError(error);
    return object;
}

// Thread-local variables of "common" linkage register their size first.
extern "C" void __emutls_register_common(void* raw, std::size_t size, std::size_t align, void* templ) {
    auto* obj = static_cast<__emutls_object*>(raw);
    if (obj->size < size) {
        obj->size = size;
        obj->templ = nullptr;
    }
    if (obj->align < align) obj->align = align;
    if (templ && size == obj->size) obj->templ = templ;
}
