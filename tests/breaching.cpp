// A test library that keeps the call protocol but breaks the calling
// convention, one way a function: each delivers 1 with its one Set (as
// One() does and no more), then returns with what a real host would suffer
// from changed. The stand-in must report each as a breach naming what
// changed, and survive it. For 32- and 64-bit Windows and 64-bit Linux.
#include "zeltools.h"

#if defined(_WIN32)
#define BREACHING_API  // the build exports every function
#else
#define BREACHING_API __attribute__((visibility("default")))
#endif

extern "C" int ZEL_CALL One(void) { return ZELSetDouble(1.0); }

#if defined(_WIN32) && defined(__i386__)
asm(R"(
  # Writes `n` bytes into the caller's frame, above the return address.
  .macro above n
  .set at, 4
  .rept \n/4
  movl $0x01010101, at(%esp)
  .set at, at+4
  .endr
  .endm
  .text
  .globl _StackHigh, _StackLow, _Direction, _Ebx, _EsiEdi, _X87, _Mxcsr, _Above16, _Above20, _Above32, _Fs, _Gs
_Above16:
  call _One
  above 16
  ret
_Above20:
  call _One
  above 20
  ret
_Above32:
  call _One
  above 32
  ret
_Fs:  # the flat data selector, which has not the thread's block
  call _One
  movw %ds, %cx
  movw %cx, %fs
  ret
_Gs:
  call _One
  movw %ds, %cx
  movw %cx, %gs
  ret
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
#define ZEL_BREACHES(X) \
  X(StackHigh) X(StackLow) X(Direction) X(Ebx) X(EsiEdi) X(X87) X(Mxcsr) X(Above16) X(Above20) X(Above32) X(Fs) X(Gs)
#elif defined(_WIN32) && defined(__x86_64__)
asm(R"(
  # Calls One with its home space, as a caller must.
  .macro one
  subq $40, %rsp
  call One
  addq $40, %rsp
  .endm
  # Writes `n` bytes into the caller's frame, above the home space.
  .macro above n
  .set at, 40
  .rept \n/4
  movl $0x01010101, at(%rsp)
  .set at, at+4
  .endr
  .endm
  .text
  .globl StackHigh, Direction, Rbx, RsiRdi, R12R15, Xmm6, Xmm15, Mxcsr, Above16, Above20, Above32, Fs, Gs
StackHigh:
  one
  ret $8
Direction:
  one
  std
  ret
Rbx:
  one
  movq $1, %rbx
  ret
RsiRdi:
  one
  movq $1, %rsi
  movq $1, %rdi
  ret
R12R15:
  one
  movq $1, %r12
  movq $1, %r13
  movq $1, %r14
  movq $1, %r15
  ret
Xmm6:
  one
  pxor %xmm6, %xmm6
  ret
Xmm15:
  one
  pcmpeqb %xmm15, %xmm15
  ret
Mxcsr:  # rounding toward zero
  one
  pushq %rax
  stmxcsr (%rsp)
  orl $0x6000, (%rsp)
  ldmxcsr (%rsp)
  popq %rcx
  ret
Above16:
  one
  above 16
  ret
Above20:
  one
  above 20
  ret
Above32:
  one
  above 32
  ret
Fs:  # the flat data selector, which has not the thread's base
  one
  movw %ss, %cx
  movw %cx, %fs
  ret
Gs:
  one
  movw %ss, %cx
  movw %cx, %gs
  ret
)");
#define ZEL_BREACHES(X)                                                                                      \
  X(StackHigh) X(Direction) X(Rbx) X(RsiRdi) X(R12R15) X(Xmm6) X(Xmm15) X(Mxcsr) X(Above16) X(Above20) \
  X(Above32) X(Fs) X(Gs)
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
