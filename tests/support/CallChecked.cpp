#include "CallChecked.h"

#if defined(__i386__)

#include <cstdint>

extern "C" {
std::uintptr_t ykt_saved_esp;
std::uintptr_t ykt_saved_ebp;
std::int32_t ykt_call_result;
std::int32_t ykt_stack_left;
unsigned ykt_call_checked(void* fn, int n, const void* const* args);
}

__asm__(
    ".text\n"
    ".globl _ykt_call_checked\n"
    "_ykt_call_checked:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"
    "    pushl %ebx\n"
    "    pushl %esi\n"
    "    pushl %edi\n"
    "    movl %esp, _ykt_saved_esp\n"
    "    movl %ebp, _ykt_saved_ebp\n"
    "    movl 12(%ebp), %ecx\n"
    "    movl 16(%ebp), %edx\n"
    "1:  testl %ecx, %ecx\n"
    "    jz 2f\n"
    "    decl %ecx\n"
    "    pushl (%edx,%ecx,4)\n"
    "    jmp 1b\n"
    "2:  movl 8(%ebp), %eax\n"
    "    movl $0x5EB05EB0, %ebx\n"
    "    movl $0x51515151, %esi\n"
    "    movl $0xD1D1D1D1, %edi\n"
    "    call *%eax\n"
    "    movl %eax, _ykt_call_result\n"
    "    xorl %ecx, %ecx\n"
    "    cmpl $0x5EB05EB0, %ebx\n"
    "    je 3f\n"
    "    orl $1, %ecx\n"
    "3:  cmpl $0x51515151, %esi\n"
    "    je 4f\n"
    "    orl $2, %ecx\n"
    "4:  cmpl $0xD1D1D1D1, %edi\n"
    "    je 5f\n"
    "    orl $4, %ecx\n"
    "5:  cmpl _ykt_saved_ebp, %ebp\n"
    "    je 6f\n"
    "    orl $8, %ecx\n"
    "    movl _ykt_saved_ebp, %ebp\n"
    "6:  movl _ykt_saved_esp, %eax\n"
    "    subl %esp, %eax\n"
    "    movl %eax, _ykt_stack_left\n"
    "    testl %eax, %eax\n"
    "    je 7f\n"
    "    orl $16, %ecx\n"
    "7:  movl _ykt_saved_esp, %esp\n"
    "    movl %ecx, %eax\n"
    "    popl %edi\n"
    "    popl %esi\n"
    "    popl %ebx\n"
    "    popl %ebp\n"
    "    ret\n");

namespace ykt::test {

CheckedCall CallChecked(void* fn, int n, const void* const* args) {
    CheckedCall call;
    call.registersChanged = ykt_call_checked(fn, n, args);
    call.result = ykt_call_result;
    call.stackLeft = ykt_stack_left;
    return call;
}

}  // namespace ykt::test

#endif
