// The runtime's per-thread storage (GCC's emulated thread-local storage, which
// the C++ runtime uses for each thread's exception state), kept so that it
// can be given back and so that it can never be missing: the runtime's own
// version takes its TLS slot and a thread's storage at that thread's first
// exception, which may come after the card was charged, and aborts the
// process when Windows has no slot or no memory left. Here the slot is taken
// when the library is attached (or the load fails), each export makes sure of
// its thread's storage before it does any work (or fails), a thread's storage
// is freed when the thread ends, and everything, slot included, when the
// library is freed.
#include "api/ThreadStorage.h"

#include <windows.h>

#include <cxxabi.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "api/SpinLock.h"
#include "platform/Guard.h"

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

// The objects whose storage an export's entry makes sure of. The runtime has
// one (the exception state); room for a few more costs nothing.
constexpr std::size_t kKnownObjects = 8;

// Usable before DllMain has run (static constructors of the runtime may
// already need thread storage) and without anything to create or destroy.
SpinLock g_lock;
DWORD g_slot = TLS_OUT_OF_INDEXES;
std::size_t g_indices = 0;
__emutls_object* g_known[kKnownObjects];
ThreadBlock* g_threads = nullptr;

void* Allocate(std::size_t size) { return HeapAlloc(GetProcessHeap(), 0, size); }

void Free(void* block) { HeapFree(GetProcessHeap(), 0, block); }

// An object aligned as asked, with the start of its block just in front;
// null when there is no memory.
void* NewObject(const __emutls_object* obj) {
    const std::size_t align = obj->align > sizeof(void*) ? obj->align : sizeof(void*);
    char* raw = static_cast<char*>(Allocate(obj->size + align + sizeof(void*)));
    if (!raw) return nullptr;
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

bool TakeSlot() {
    Locked lock(g_lock);
    if (g_slot == TLS_OUT_OF_INDEXES) g_slot = TlsAlloc();
    return g_slot != TLS_OUT_OF_INDEXES;
}

std::size_t IndexOf(__emutls_object* obj) {
    std::size_t index = __atomic_load_n(&obj->loc.offset, __ATOMIC_ACQUIRE);
    if (index != 0) return index;
    Locked lock(g_lock);
    index = obj->loc.offset;
    if (index == 0) {
        index = ++g_indices;
        if (index <= kKnownObjects) g_known[index - 1] = obj;
        __atomic_store_n(&obj->loc.offset, index, __ATOMIC_RELEASE);
    }
    return index;
}

// The calling thread's block with room for index objects; null when there is
// no memory (the thread keeps the block it had).
ThreadBlock* BlockFor(std::size_t index) {
    auto* block = static_cast<ThreadBlock*>(TlsGetValue(g_slot));
    if (block && block->count >= index) return block;
    const std::size_t count = index < kKnownObjects ? kKnownObjects : index * 2;
    const std::size_t bytes = offsetof(ThreadBlock, objects) + count * sizeof(void*);
    auto* grown = static_cast<ThreadBlock*>(Allocate(bytes));
    if (!grown) return nullptr;
    std::memset(grown, 0, bytes);
    grown->count = count;
    Locked lock(g_lock);
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

// The calling thread's instance of obj, created if need be; null when there
// is no slot or no memory.
void* ObjectFor(__emutls_object* obj, std::size_t index) {
    if (g_slot == TLS_OUT_OF_INDEXES && !TakeSlot()) return nullptr;
    ThreadBlock* block = BlockFor(index);
    if (!block) return nullptr;
    void*& object = block->objects[index - 1];
    if (!object) object = NewObject(obj);
    return object;
}

}  // namespace

bool AttachThreadStorage() noexcept {
    if (!TakeSlot()) return false;
    // The exception state is the runtime's thread-local object: touching it
    // now gives it its index, so that every export's entry knows to make it.
    // Should there be no memory for it, the load fails like one without a slot.
    const bool made = CallGuarded(
                          [](void*) {
                              static void* volatile globals;
                              globals = abi::__cxa_get_globals();
                              (void)globals;
                          },
                          nullptr) == 0;
    if (!made || !EnsureThreadStorage()) {
        ReleaseAll();
        return false;
    }
    return true;
}

bool EnsureThreadStorage() noexcept {
    const DWORD error = GetLastError();
    bool ready = g_slot != TLS_OUT_OF_INDEXES;
    const std::size_t known = __atomic_load_n(&g_indices, __ATOMIC_ACQUIRE);
    for (std::size_t index = 1; ready && index <= known && index <= kKnownObjects; ++index) {
        __emutls_object* obj = __atomic_load_n(&g_known[index - 1], __ATOMIC_ACQUIRE);
        if (obj) ready = ObjectFor(obj, index) != nullptr;
    }
    SetLastError(error);
    return ready;
}

void ReleaseThread() noexcept {
    if (g_slot == TLS_OUT_OF_INDEXES) return;
    const DWORD error = GetLastError();
    auto* block = static_cast<ThreadBlock*>(TlsGetValue(g_slot));
    if (block) {
        TlsSetValue(g_slot, nullptr);
        {
            Locked lock(g_lock);
            Unlink(block);
        }
        FreeBlock(block);
    }
    SetLastError(error);
}

void ReleaseAll() noexcept {
    Locked lock(g_lock);
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
    void* object = ObjectFor(obj, IndexOf(obj));
    // Every export has made sure of its thread's storage at its entry, so
    // this is a runtime object first used mid-call with no memory left. The
    // runtime's answer is abort(); a structured exception instead ends the
    // call at the export's guard with a result code.
    if (!object) RaiseException(STATUS_NO_MEMORY, EXCEPTION_NONCONTINUABLE, 0, nullptr);
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
