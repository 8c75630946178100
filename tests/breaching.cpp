// A test library that keeps the call protocol but breaks the calling
// convention, one way a function: each delivers 1 with its one Set (as
// One() does and no more), then returns with what a real host would suffer
// from changed. The stand-in must report each as a breach naming what
// changed, and survive it. For 32-bit Windows and for 64-bit Linux.
#include "zeltools.h"

#if defined(_WIN32)
#define BREACHING_API  // the build exports every function
#else
#define BREACHING_API __attribute__((visibility("default")))
#endif

extern "C" int ZEL_CALL One(void) { return ZELSetDouble(1.0); }

#if defined(_WIN32) && defined(__i386__)
asm(R"(
  .text
  .globl _StackHigh, _StackLow, _Direction, _Ebx, _EsiEdi, _X87, _Mxcsr
_StackHigh:  # as a __stdcall function of one parameter returns
  call _One
  ret $4
_StackLow:  # a word left on the stack
  call _One
  popl %ecx
  pushl $0
  pushl %ecx
  ret
_Direction:
  call _One
  std
  ret
_Ebx:
  call _One
  movl $1, %ebx
  ret
_EsiEdi:
  call _One
  movl $1, %esi
  movl $1, %edi
  ret
_X87:  # a value left on the x87 stack
  call _One
  fld1
  ret
_Mxcsr:  # rounding toward zero
  call _One
  pushl %eax
  stmxcsr (%esp)
  orl $0x6000, (%esp)
  ldmxcsr (%esp)
  popl %eax
  ret
)");
#define ZEL_BREACHES(X) X(StackHigh) X(StackLow) X(Direction) X(Ebx) X(EsiEdi) X(X87) X(Mxcsr)
#elif defined(__linux__) && defined(__x86_64__)
asm(R"(
  .text
  .globl StackHigh, Direction, Rbx, R12R13, Mxcsr
StackHigh:
  subq $8, %rsp
  call One
  addq $8, %rsp
  ret $8
Direction:
  subq $8, %rsp
  call One
  addq $8, %rsp
  std
  ret
Rbx:
  subq $8, %rsp
  call One
  addq $8, %rsp
  movq $1, %rbx
  ret
R12R13:
  subq $8, %rsp
  call One
  addq $8, %rsp
  movq $1, %r12
  movq $1, %r13
  ret
Mxcsr:  # rounding toward zero
  pushq %rax
  call One
  stmxcsr (%rsp)
  orl $0x6000, (%rsp)
  ldmxcsr (%rsp)
  popq %rcx
  ret
)");
#define ZEL_BREACHES(X) X(StackHigh) X(Direction) X(Rbx) X(R12R13) X(Mxcsr)
#endif

#define ZEL_DECLARE(name) int ZEL_CALL name(void);
#define ZEL_REGISTER(name) AddFunctionCall(name, "Numeric " #name "()");

extern "C" {

ZEL_BREACHES(ZEL_DECLARE)

BREACHING_API int ZEL_CALL OnInit(void) {
  ZEL_BREACHES(ZEL_REGISTER)
  return AddFunctionCall(One, "Numeric One()");
}

}  // extern "C"
