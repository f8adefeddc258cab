#include "platform/Guard.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <string>

namespace ykt {

namespace {
std::string FaultMessage(const char* function, unsigned long code) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%s raised exception 0x%08lX", function, code);
    return buffer;
}
}  // namespace

VendorFault::VendorFault(const char* function, unsigned long code)
    : std::runtime_error(FaultMessage(function, code)), code_(code) {}

namespace {

// A stack overflow uses up the thread's guard page: Windows commits it as
// plain memory and raises STATUS_STACK_OVERFLOW once, and a second overflow
// on the same thread would then run into the end of the stack with no
// handler run. Once the guard has unwound the overflowing frames, the lowest
// committed page of the stack is made the guard page again, unless the
// caller itself stands that deep.
void RestoreStackGuard() {
    MEMORY_BASIC_INFORMATION here;
    if (!VirtualQuery(&here, &here, sizeof here)) return;
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    // Below the stack's usable part lie its reserved pages (and, under Wine,
    // a page without access): skip them.
    char* at = static_cast<char*>(here.AllocationBase);
    MEMORY_BASIC_INFORMATION region;
    while (VirtualQuery(at, &region, sizeof region) && region.AllocationBase == here.AllocationBase &&
           (region.State != MEM_COMMIT || region.Protect == PAGE_NOACCESS))
        at = static_cast<char*>(region.BaseAddress) + region.RegionSize;
    if (region.AllocationBase != here.AllocationBase || region.State != MEM_COMMIT) return;
    if (region.Protect & PAGE_GUARD) return;  // still in place
    char* lowest = static_cast<char*>(region.BaseAddress);
    if (lowest + 2 * page > reinterpret_cast<char*>(&here)) return;
    DWORD old = 0;
    VirtualProtect(lowest, page, PAGE_READWRITE | PAGE_GUARD, &old);
}

unsigned long AfterGuardedCall(unsigned long code) {
    if (code == EXCEPTION_STACK_OVERFLOW) RestoreStackGuard();
    return code;
}

}  // namespace

}  // namespace ykt

#if defined(__x86_64__)

// x86_64 Windows dispatches exceptions through unwind tables. ykt_call_guarded
// carries our own language handler in its table entry; when an exception
// reaches it, the handler unwinds every frame below and resumes at
// ykt_guard_landing with the exception code in RAX, as __except would.
extern "C" void ykt_guard_landing();
extern "C" unsigned long ykt_call_guarded(void (*fn)(void*), void* context);

extern "C" EXCEPTION_DISPOSITION ykt_guard_handler(PEXCEPTION_RECORD record, PVOID establisherFrame,
                                                   PCONTEXT context, PDISPATCHER_CONTEXT dispatcher) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    RtlUnwindEx(establisherFrame, reinterpret_cast<PVOID>(&ykt_guard_landing), record,
                reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(record->ExceptionCode)), context,
                dispatcher->HistoryTable);
    return ExceptionContinueSearch;  // not reached
}

__asm__(
    ".text\n"
    ".globl ykt_call_guarded\n"
    ".globl ykt_guard_landing\n"
    ".def ykt_call_guarded; .scl 2; .type 32; .endef\n"
    ".seh_proc ykt_call_guarded\n"
    "ykt_call_guarded:\n"
    "    pushq %rbp\n"
    "    .seh_pushreg %rbp\n"
    "    movq %rsp, %rbp\n"
    "    .seh_setframe %rbp, 0\n"
    "    subq $32, %rsp\n"
    "    .seh_stackalloc 32\n"
    "    .seh_endprologue\n"
    "    .seh_handler ykt_guard_handler, @except\n"
    "    movq %rcx, %rax\n"
    "    movq %rdx, %rcx\n"
    "    callq *%rax\n"
    "    xorl %eax, %eax\n"
    "ykt_guard_landing:\n"
    "    movq %rbp, %rsp\n"
    "    popq %rbp\n"
    "    ret\n"
    ".seh_endproc\n");

namespace ykt {
unsigned long CallGuarded(void (*fn)(void*), void* context) {
    return AfterGuardedCall(ykt_call_guarded(fn, context));
}
}  // namespace ykt

#elif defined(__i386__)

// i386 Windows dispatches exceptions along a chain of registration records
// headed at fs:[0]. The guard links its own record; its handler lets RtlUnwind
// run the termination handlers of the frames below, then jumps back into
// CallGuarded with the registers it had when the record was linked.
namespace {

struct GuardRecord {
    EXCEPTION_REGISTRATION_RECORD registration;  // must come first: the handler receives its address
    void* resume[5];                             // __builtin_setjmp buffer
    unsigned long code;
};

}  // namespace

// RtlUnwind does not preserve EBX, ESI and EDI; this wrapper does.
extern "C" void ykt_rtl_unwind(void* frame, EXCEPTION_RECORD* record);
__asm__(
    ".text\n"
    ".globl _ykt_rtl_unwind\n"
    "_ykt_rtl_unwind:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %ebx\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    pushl $0\n"
    "    pushl 12(%ebp)\n"
    "    pushl $0\n"
    "    pushl 8(%ebp)\n"
    "    call _RtlUnwind@16\n"
    "    popl %edi\n"
    "    popl %esi\n"
    "    popl %ebx\n"
    "    popl %ebp\n"
    "    ret\n");

extern "C" EXCEPTION_DISPOSITION __cdecl ykt_guard_handler(EXCEPTION_RECORD* record, void* frame, CONTEXT*,
                                                           void*) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    auto* guard = static_cast<GuardRecord*>(frame);
    guard->code = record->ExceptionCode;
    ykt_rtl_unwind(frame, record);
    __builtin_longjmp(guard->resume, 1);
}

namespace ykt {
__attribute__((noinline)) unsigned long CallGuarded(void (*fn)(void*), void* context) {
    GuardRecord guard;
    guard.code = 0;
    guard.registration.Handler = reinterpret_cast<PEXCEPTION_ROUTINE>(&ykt_guard_handler);
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(guard.registration.Next));
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(&guard.registration) : "memory");
    if (__builtin_setjmp(guard.resume) == 0) fn(context);
    // Both paths unlink the record; after a fault RtlUnwind has already made
    // it the head again.
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(guard.registration.Next) : "memory");
    return AfterGuardedCall(guard.code);
}
}  // namespace ykt

#else
#error "CallGuarded needs x86_64 or i386"
#endif
