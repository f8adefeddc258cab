#include "api/HostString.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "platform/Guard.h"
#include "platform/LoadedModule.h"

namespace ykt::host {

namespace {

#if defined(__i386__)
// The host runtime passes arguments in EAX, EDX, ECX.
#define YKT_HOST_CALL __attribute__((regparm(3)))
#else
#define YKT_HOST_CALL
#endif

using GetMemFn = void*(YKT_HOST_CALL*)(std::int32_t size);
using FreeMemFn = std::int32_t(YKT_HOST_CALL*)(void* block);

struct SharedAllocator {
    GetMemFn getMem = nullptr;
    FreeMemFn freeMem = nullptr;
};

SharedAllocator g_shared;  // all null: the process heap serves

struct Header {
    std::int32_t refCount;
    std::int32_t length;
};

Header* HeaderOf(char* text) { return reinterpret_cast<Header*>(text - sizeof(Header)); }

void* AllocateBlock(std::size_t size) {
    if (size > static_cast<std::size_t>(INT32_MAX)) throw std::bad_alloc();
    void* block = g_shared.getMem ? g_shared.getMem(static_cast<std::int32_t>(size))
                                  : HeapAlloc(GetProcessHeap(), 0, size);
    if (!block) throw std::bad_alloc();
    return block;
}

void FreeBlock(void* block) {
    if (g_shared.freeMem)
        g_shared.freeMem(block);
    else
        HeapFree(GetProcessHeap(), 0, block);
}

template <class Fn>
Fn ProcAs(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

void AdoptAllocator() {
    HMODULE module = ykt::LoadedModule(L"borlndmm.dll");
    if (!module) return;
    SharedAllocator found;
    found.getMem = ProcAs<GetMemFn>(module, "@Borlndmm@SysGetMem$qqri");
    found.freeMem = ProcAs<FreeMemFn>(module, "@Borlndmm@SysFreeMem$qqrpv");
    // Half an allocator would free blocks into the wrong heap: all or nothing.
    // The library never resizes a string, but a module without SysReallocMem
    // is not the host runtime's memory manager.
    const bool complete = GetProcAddress(module, "@Borlndmm@SysReallocMem$qqrpvi") != nullptr;
    if (found.getMem && found.freeMem && complete) g_shared = found;
}

char* NewString(std::string_view text) {
    if (text.empty()) return nullptr;
    if (text.size() > static_cast<std::size_t>(INT32_MAX) - sizeof(Header) - 1) throw std::bad_alloc();
    auto* header = static_cast<Header*>(AllocateBlock(sizeof(Header) + text.size() + 1));
    header->refCount = 1;
    header->length = static_cast<std::int32_t>(text.size());
    char* chars = reinterpret_cast<char*>(header + 1);
    std::memcpy(chars, text.data(), text.size());
    chars[text.size()] = '\0';
    return chars;
}

void Release(char* text) {
    if (!text) return;
    Header* header = HeaderOf(text);
    if (header->refCount < 0) return;  // a constant
    if (InterlockedDecrement(reinterpret_cast<volatile LONG*>(&header->refCount)) == 0) FreeBlock(header);
}

void Assign(char** variable, std::string_view text) {
    char* fresh = NewString(text);
    char* old = *variable;
    *variable = fresh;
    Release(old);
}

bool TryAssign(char** variable, std::string_view text) noexcept {
    char* fresh = nullptr;
    if (Guarded([&] { fresh = NewString(text); }) != 0) return false;
    char* old = nullptr;
    if (Guarded([&] {
            old = *variable;
            *variable = fresh;
        }) != 0) {
        Guarded([&] { Release(fresh); });
        return false;
    }
    // The host's old string is the host's business once replaced: a fault in
    // releasing it does not undo the assignment.
    Guarded([&] { Release(old); });
    return true;
}

InputString::InputString(char* text) : text_(text) {
    if (text_ && HeaderOf(text_)->refCount >= 0)
        InterlockedIncrement(reinterpret_cast<volatile LONG*>(&HeaderOf(text_)->refCount));
}

InputString::~InputString() { Release(text_); }

std::string_view InputString::View() const {
    if (!text_) return {};
    const std::int32_t length = HeaderOf(text_)->length;
    return length > 0 ? std::string_view(text_, static_cast<std::size_t>(length)) : std::string_view();
}

}  // namespace ykt::host
