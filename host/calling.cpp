// The stand-in's calls of a library's functions: on a misaligned stack and
// in a hostile floating-point state, with that state, the stack pointer,
// the direction flag and the registers that the callee must keep checked
// after.
#include "calling.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace tools {
namespace {

// Adds `what` to the phrases of `changed`.
void add(std::string &changed, const std::string &what) { changed += (changed.empty() ? "left " : "; left ") + what; }

}  // namespace
}  // namespace tools

#if defined(_WIN32) && defined(__i386__)
#define ZEL_KEPT "ebx", "esi", "edi", "ebp"
#elif defined(_WIN32) && defined(__x86_64__)
#define ZEL_KEPT "rbx", "rbp", "rdi", "rsi", "r12", "r13", "r14", "r15"
#define ZEL_XMM 10  // xmm6 to xmm15
#elif defined(__linux__) && defined(__x86_64__)
#define ZEL_KEPT "rbx", "rbp", "r12", "r13", "r14", "r15"
#endif
#if defined(_WIN32) && (defined(__i386__) || defined(__x86_64__))
#define ZEL_SEGMENTS 5  // ds, es, fs, gs, ss
// The guard span above each call's return address (on 64-bit, above the
// home space of the four register arguments, which is the callee's), its
// pattern, and the record's layout, which the assembly writes at.
#define ZEL_GUARD 64
#if defined(__i386__)
#define ZEL_W 4
#define ZEL_KEPT_COUNT 4
#define ZEL_XMM_BYTES 0
#else
#define ZEL_W 8
#define ZEL_KEPT_COUNT 8
#define ZEL_XMM_BYTES 160
#endif
#endif

#if defined(ZEL_KEPT)
namespace tools {
namespace {

// What the calling convention makes a function keep, as a call found it and
// as the function left it: the stack pointer at the call, the registers the
// callee saves (holding values of the stand-in's own) and the flags, whose
// direction flag is clear at a call and must be at the return; on Windows
// also the segment registers, the xmm registers the callee saves (64-bit)
// and the guard span above the return address, as the function left it.
constexpr const char *kept_names[] = {ZEL_KEPT};
struct Registers {
  std::uintptr_t sp;
  std::uintptr_t kept[std::size(kept_names)];
  std::uintptr_t flags;
#if defined(ZEL_SEGMENTS)
  std::uintptr_t segments[ZEL_SEGMENTS];
#endif
#if defined(ZEL_XMM)
  unsigned char xmm[ZEL_XMM][16];
#endif
};
#if defined(ZEL_SEGMENTS)
constexpr const char *segment_names[] = {"ds", "es", "fs", "gs", "ss"};
static_assert(std::size(segment_names) == ZEL_SEGMENTS);
constexpr unsigned char guard_byte = 0xA5;
struct Checked {
  Registers before, after;
  // The stand-in's own: its kept registers, stack pointer and return
  // address, its xmm registers (64-bit), and the bases of fs and gs where
  // it can read them; out of reach of the library's writes to the stack.
  std::uintptr_t own[std::size(kept_names) + 2];
  unsigned char own_xmm[ZEL_XMM_BYTES + 1];
  std::uintptr_t bases[2];
  unsigned char guard[ZEL_GUARD];
};
// The offsets that the assembly writes at, each held to the struct.
#define ZEL_REGISTERS (ZEL_W * (ZEL_KEPT_COUNT + 2 + ZEL_SEGMENTS) + ZEL_XMM_BYTES)
#define ZEL_AFTER ZEL_REGISTERS
#define ZEL_OWN (2 * ZEL_REGISTERS)
#define ZEL_OWN_XMM (ZEL_OWN + ZEL_W * (ZEL_KEPT_COUNT + 2))
#define ZEL_BASES (ZEL_OWN_XMM + ZEL_XMM_BYTES + ZEL_W)
#define ZEL_GUARD_AT (ZEL_BASES + 2 * ZEL_W)
static_assert(std::size(kept_names) == ZEL_KEPT_COUNT);
static_assert(offsetof(Registers, kept) == ZEL_W && offsetof(Registers, flags) == ZEL_W * (ZEL_KEPT_COUNT + 1));
static_assert(offsetof(Registers, segments) == ZEL_W * (ZEL_KEPT_COUNT + 2));
static_assert(sizeof(Registers) == ZEL_REGISTERS && offsetof(Checked, after) == ZEL_AFTER);
static_assert(offsetof(Checked, own) == ZEL_OWN && offsetof(Checked, own_xmm) == ZEL_OWN_XMM);
static_assert(offsetof(Checked, bases) == ZEL_BASES && offsetof(Checked, guard) == ZEL_GUARD_AT);
#if defined(ZEL_XMM)
static_assert(offsetof(Registers, xmm) == ZEL_W * (ZEL_KEPT_COUNT + 2 + ZEL_SEGMENTS));
#endif
#else
struct Checked {
  Registers before, after;
  std::uintptr_t frame;
};
// The offsets that the assembly writes at: each field of the record.
static_assert(offsetof(Registers, kept) == sizeof(void *));
static_assert(offsetof(Registers, flags) == (std::size(kept_names) + 1) * sizeof(void *));
static_assert(offsetof(Checked, after) == (std::size(kept_names) + 2) * sizeof(void *));
static_assert(offsetof(Checked, frame) == 2 * (std::size(kept_names) + 2) * sizeof(void *));
#endif
constexpr std::uintptr_t direction_flag = 0x400;

// What the function left changed of what it must keep.
void compare(const Checked &checked, std::string &changed) {
  const Registers &before = checked.before, &after = checked.after;
  if (after.sp != before.sp) {
    const bool high = after.sp > before.sp;
    add(changed, "the stack pointer " + std::to_string(high ? after.sp - before.sp : before.sp - after.sp) +
                     (high ? " bytes high" : " bytes low"));
  }
  std::string registers;
  for (std::size_t i = 0; i < std::size(kept_names); ++i)
    if (after.kept[i] != before.kept[i]) registers += (registers.empty() ? "" : ", ") + std::string(kept_names[i]);
#if defined(ZEL_XMM)
  for (std::size_t i = 0; i < ZEL_XMM; ++i)
    if (std::memcmp(after.xmm[i], before.xmm[i], 16) != 0)
      registers += (registers.empty() ? "xmm" : ", xmm") + std::to_string(i + 6);
#endif
#if defined(ZEL_SEGMENTS)
  for (std::size_t i = 0; i < ZEL_SEGMENTS; ++i)
    if ((after.segments[i] & 0xFFFF) != (before.segments[i] & 0xFFFF))
      registers += (registers.empty() ? "" : ", ") + std::string(segment_names[i]);
#endif
  if (!registers.empty()) add(changed, registers + " changed");
  if ((after.flags & direction_flag) != (before.flags & direction_flag)) add(changed, "the direction flag set");
#if defined(ZEL_SEGMENTS)
  std::size_t written = ZEL_GUARD;
  while (written > 0 && checked.guard[written - 1] == guard_byte) --written;
  if (written > 0)
    add(changed, std::to_string(written) + (sizeof(void *) == 4 ? " bytes written above its return address"
                                                               : " bytes written above its home space"));
#endif
}

}  // namespace
}  // namespace tools
#endif

#define ZEL_STRING(x) ZEL_STRING_(x)
#define ZEL_STRING_(x) #x

#if defined(ZEL_SEGMENTS)
// One call at a time: after it, nothing but a fixed address leads back to
// the stand-in's own state, since the function may have changed every
// register, and MinGW's thread-local storage is emulated. Its own kept
// registers and return address wait there too, not on the stack, where the
// function may write.
extern "C" tools::Checked zel_checked;
tools::Checked zel_checked;
#endif

#if defined(_WIN32) && defined(__i386__)
// Calls `function` with the stack pointer `offset` (4, 8 or 12) mod 16 at the
// call, and ZEL_GUARD bytes of a pattern above the return address. 32-bit
// Windows promises only 4-byte alignment there, and a host built by MSVC
// calls at any multiple of 4. The stand-in's own code, from MinGW GCC, keeps
// 16-byte alignment and relies on it, so only this call is misaligned: the
// library's code must not rely on more than 4. It records the registers in
// zel_checked before and after, and takes its own back. The segment
// registers are read and put back through ss, the first thing after the
// call: a changed ds would misdirect every other access.
extern "C" int zel_call_checked(ZELFunction function, std::uint32_t offset);
asm(R"(
  # The kept registers, at byte `at` of zel_checked.
  .macro zel_record at
  movl %ebx, _zel_checked+\at+4
  movl %esi, _zel_checked+\at+8
  movl %edi, _zel_checked+\at+12
  movl %ebp, _zel_checked+\at+16
  .endm
  # The segment registers, at byte `at`.
  .macro zel_segments at
  movw %ds, %ss:_zel_checked+\at+24
  movw %es, %ss:_zel_checked+\at+28
  movw %fs, %ss:_zel_checked+\at+32
  movw %gs, %ss:_zel_checked+\at+36
  movw %ss, %ss:_zel_checked+\at+40
  .endm
  .text
  .globl _zel_call_checked
_zel_call_checked:
  popl _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+20
  movl %ebx, _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(
  movl %esi, _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+4
  movl %edi, _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+8
  movl %ebp, _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+12
  movl %esp, _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+16
  movl (%esp), %edx
  movl 4(%esp), %ecx
  andl $-16, %esp
  subl $)" ZEL_STRING(ZEL_GUARD) R"(+16, %esp
  addl %ecx, %esp
  cld
  movl %esp, %edi
  movl $0xA5A5A5A5, %eax
  movl $)" ZEL_STRING(ZEL_GUARD) R"(/4, %ecx
  rep stosl
  movl $0x0B0B0B0B, %ebx
  movl $0x5E5E5E5E, %esi
  movl $0xD1D1D1D1, %edi
  movl %esp, _zel_checked
  zel_record 0
  zel_segments 0
  pushfl
  popl _zel_checked+20
  call *%edx
  zel_segments )" ZEL_STRING(ZEL_AFTER) R"(
  movw %ss:_zel_checked+40, %ss
  movw %ss:_zel_checked+24, %ds
  movw %ss:_zel_checked+28, %es
  movw %ss:_zel_checked+32, %fs
  movw %ss:_zel_checked+36, %gs
  zel_record )" ZEL_STRING(ZEL_AFTER) R"(
  # The flags pushed into their place in the record, not onto the stack,
  # where the guard may lie just below a stack pointer left high.
  movl %esp, _zel_checked+)" ZEL_STRING(ZEL_AFTER) R"(
  movl $_zel_checked+)" ZEL_STRING(ZEL_AFTER) R"(+24, %esp
  pushfl
  cld
  movl _zel_checked, %esi
  movl $_zel_checked+)" ZEL_STRING(ZEL_GUARD_AT) R"(, %edi
  movl $)" ZEL_STRING(ZEL_GUARD) R"(/4, %ecx
  rep movsl
  movl _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+16, %esp
  movl _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(, %ebx
  movl _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+4, %esi
  movl _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+8, %edi
  movl _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+12, %ebp
  pushl _zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+20
  ret
)");

namespace tools {
namespace {
std::mutex checking;

int call(ZELFunction function, std::string &changed) {
  thread_local std::uint32_t offset = 0;
  offset = offset % 12 + 4;
  std::lock_guard lock(checking);
  zel_checked = {};
  const int returned = zel_call_checked(function, offset);
  compare(zel_checked, changed);
  return returned;
}
}  // namespace
}  // namespace tools
#elif defined(_WIN32) && defined(__x86_64__)
// Calls `function` with 32 bytes of home space and then ZEL_GUARD bytes of
// a pattern above its return address, values of the stand-in's own in every
// register the callee keeps, and records them in zel_checked before and
// after; takes its own back. Where the processor lets a program read and
// write the bases of fs and gs (zel_bases), a changed fs or gs is put back
// with its base: loading a selector loses the base that Windows, or Wine,
// keeps there.
extern "C" int zel_call_checked(ZELFunction function);
extern "C" std::uint32_t zel_bases;
std::uint32_t zel_bases = 0;
asm(R"(
  # The kept registers to (`to` 1) or from (0) their places from byte `at`
  # of zel_checked on: rbx, rbp, rdi, rsi, r12 to r15, 8 bytes each, then
  # at byte `xmm` xmm6 to xmm15, 16 bytes each.
  .macro zel_kept to, at, xmm
  .set zel_at, \at
  .irp r, rbx, rbp, rdi, rsi, r12, r13, r14, r15
  .if \to
  movq %\r, zel_checked+zel_at(%rip)
  .else
  movq zel_checked+zel_at(%rip), %\r
  .endif
  .set zel_at, zel_at+8
  .endr
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  .if \to
  movdqu %xmm\n, zel_checked+\xmm+16*(\n-6)(%rip)
  .else
  movdqu zel_checked+\xmm+16*(\n-6)(%rip), %xmm\n
  .endif
  .endr
  .endm
  # The kept registers and the segment registers, at byte `at`.
  .macro zel_record at
  zel_kept 1, \at+8, \at+120
  movw %ds, zel_checked+\at+80(%rip)
  movw %es, zel_checked+\at+88(%rip)
  movw %fs, zel_checked+\at+96(%rip)
  movw %gs, zel_checked+\at+104(%rip)
  movw %ss, zel_checked+\at+112(%rip)
  .endm
  # Puts `segment` back from the record if the function changed it, with
  # its base at byte `base` if zel_bases.
  .macro zel_segment segment, at, base
  movw zel_checked+)" ZEL_STRING(ZEL_AFTER) R"(+\at(%rip), %cx
  cmpw zel_checked+\at(%rip), %cx
  je 1f
  movw zel_checked+\at(%rip), %\segment
  cmpl $0, zel_bases(%rip)
  je 1f
  movq zel_checked+\base(%rip), %rcx
  wr\segment\()base %rcx
1:
  .endm
  .text
  .globl zel_call_checked
zel_call_checked:
  popq zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+72(%rip)
  movq %rsp, zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+64(%rip)
  zel_kept 1, )" ZEL_STRING(ZEL_OWN) R"(, )" ZEL_STRING(ZEL_OWN_XMM) R"(
  cmpl $0, zel_bases(%rip)
  je 2f
  rdfsbase %rax
  movq %rax, zel_checked+)" ZEL_STRING(ZEL_BASES) R"((%rip)
  rdgsbase %rax
  movq %rax, zel_checked+)" ZEL_STRING(ZEL_BASES) R"(+8(%rip)
2:
  movq %rcx, %r11
  andq $-16, %rsp
  subq $)" ZEL_STRING(ZEL_GUARD) R"(+32, %rsp
  cld
  leaq 32(%rsp), %rdi
  movabsq $0xA5A5A5A5A5A5A5A5, %rax
  movl $)" ZEL_STRING(ZEL_GUARD) R"(/8, %ecx
  rep stosq
  movabsq $0x0B0B0B0B0B0B0B0B, %rbx
  movabsq $0x0D0D0D0D0D0D0D0D, %rbp
  movabsq $0xD1D1D1D1D1D1D1D1, %rdi
  movabsq $0x5E5E5E5E5E5E5E5E, %rsi
  movabsq $0x1212121212121212, %r12
  movabsq $0x1313131313131313, %r13
  movabsq $0x1414141414141414, %r14
  movabsq $0x1515151515151515, %r15
  .irp n, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15
  movabsq $0x0101010101010101*\n, %rax
  movq %rax, %xmm\n
  punpcklqdq %xmm\n, %xmm\n
  .endr
  movq %rsp, zel_checked(%rip)
  zel_record 0
  pushfq
  popq zel_checked+72(%rip)
  call *%r11
  zel_record )" ZEL_STRING(ZEL_AFTER) R"(
  # The flags pushed into their place in the record, not onto the stack.
  movq %rsp, zel_checked+)" ZEL_STRING(ZEL_AFTER) R"((%rip)
  leaq zel_checked+)" ZEL_STRING(ZEL_AFTER) R"(+80(%rip), %rsp
  pushfq
  cld
  movw zel_checked+80(%rip), %ds
  movw zel_checked+88(%rip), %es
  movw zel_checked+112(%rip), %ss
  zel_segment fs, 96, )" ZEL_STRING(ZEL_BASES) R"(
  zel_segment gs, 104, )" ZEL_STRING(ZEL_BASES) R"(+8
  movq zel_checked(%rip), %rsi
  addq $32, %rsi
  leaq zel_checked+)" ZEL_STRING(ZEL_GUARD_AT) R"((%rip), %rdi
  movl $)" ZEL_STRING(ZEL_GUARD) R"(/8, %ecx
  rep movsq
  movq zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+64(%rip), %rsp
  zel_kept 0, )" ZEL_STRING(ZEL_OWN) R"(, )" ZEL_STRING(ZEL_OWN_XMM) R"(
  pushq zel_checked+)" ZEL_STRING(ZEL_OWN) R"(+72(%rip)
  ret
)");

namespace tools {
namespace {
std::mutex checking;

// Whether this processor and system let a program read and write the bases
// of fs and gs: rdfsbase, tried once, faults where they do not.
std::atomic<bool> rdfsbase_faulted{false};
LONG CALLBACK skip_rdfsbase(EXCEPTION_POINTERS *exception) {
  if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_ILLEGAL_INSTRUCTION) return EXCEPTION_CONTINUE_SEARCH;
  rdfsbase_faulted = true;
  exception->ContextRecord->Rip += 5;  // f3 48 0f ae c0: rdfsbase %rax
  return EXCEPTION_CONTINUE_EXECUTION;
}
std::uint32_t bases_readable() {
  void *handler = AddVectoredExceptionHandler(1, skip_rdfsbase);
  asm volatile(".byte 0xf3, 0x48, 0x0f, 0xae, 0xc0" : : : "rax");
  RemoveVectoredExceptionHandler(handler);
  return rdfsbase_faulted ? 0 : 1;
}

int call(ZELFunction function, std::string &changed) {
  static const std::uint32_t readable = bases_readable();
  std::lock_guard lock(checking);
  zel_checked = {};
  zel_bases = readable;
  const int returned = zel_call_checked(function);
  compare(zel_checked, changed);
  return returned;
}
}  // namespace
}  // namespace tools
#elif defined(__linux__) && defined(__x86_64__)
// Each thread's record, reached through the thread pointer in fs, which no
// function changes, with tools' initial-exec thread-local storage.
extern "C" __attribute__((visibility("hidden"))) thread_local tools::Checked zel_checked;
thread_local tools::Checked zel_checked;

// Calls `function`, recording the registers in zel_checked before and after,
// and takes its own back.
extern "C" __attribute__((visibility("hidden"))) int zel_call_checked(ZELFunction function);
asm(R"(
  # The stack pointer and the kept registers, at byte `at` of this thread's
  # zel_checked, whose offset from the thread pointer is in r11.
  .macro zel_record at
  movq %rsp, %fs:\at(%r11)
  movq %rbx, %fs:\at+8(%r11)
  movq %rbp, %fs:\at+16(%r11)
  movq %r12, %fs:\at+24(%r11)
  movq %r13, %fs:\at+32(%r11)
  movq %r14, %fs:\at+40(%r11)
  movq %r15, %fs:\at+48(%r11)
  .endm
  .text
  .globl zel_call_checked
  .hidden zel_call_checked
  .type zel_call_checked, @function
zel_call_checked:
  pushq %rbp
  movq %rsp, %rbp
  pushq %rbx
  pushq %r12
  pushq %r13
  pushq %r14
  pushq %r15
  subq $8, %rsp
  movq zel_checked@gottpoff(%rip), %r11
  movq %rsp, %fs:128(%r11)
  movq %rdi, %rax
  movabsq $0x0B0B0B0B0B0B0B0B, %rbx
  movabsq $0x1212121212121212, %r12
  movabsq $0x1313131313131313, %r13
  movabsq $0x1414141414141414, %r14
  movabsq $0x1515151515151515, %r15
  cld
  zel_record 0
  pushfq
  popq %fs:56(%r11)
  call *%rax
  movq zel_checked@gottpoff(%rip), %r11
  zel_record 64
  movq %fs:128(%r11), %rsp
  pushfq
  popq %fs:120(%r11)
  cld
  addq $8, %rsp
  popq %r15
  popq %r14
  popq %r13
  popq %r12
  popq %rbx
  popq %rbp
  ret
  .size zel_call_checked, .-zel_call_checked
)");

namespace tools {
namespace {
int call(ZELFunction function, std::string &changed) {
  const int returned = zel_call_checked(function);
  compare(zel_checked, changed);
  return returned;
}
}  // namespace
}  // namespace tools
#else
namespace tools {
namespace {
int call(ZELFunction function, std::string &) { return function(); }
}  // namespace
}  // namespace tools
#endif

namespace tools {
namespace {

#if defined(__i386__) || defined(__x86_64__)
// The floating-point state that a function must leave as it found it.
struct State {
  std::uint16_t control;  // x87
  std::uint16_t status;   // x87; its bits 11-13 are the stack's top
  std::uint8_t tags;      // x87, one bit a register in use
  std::uint32_t mxcsr;
};

struct alignas(16) Image {
  unsigned char bytes[512];
};

State state_of(const Image &image) {
  State s{};
  std::memcpy(&s.control, image.bytes, 2);
  std::memcpy(&s.status, image.bytes + 2, 2);
  s.tags = image.bytes[4];
  std::memcpy(&s.mxcsr, image.bytes + 24, 4);
  return s;
}

Image save() {
  Image image{};
  asm volatile("fxsave %0" : "=m"(image));
  return image;
}

void set_control(std::uint16_t control) { asm volatile("fldcw %0" : : "m"(control)); }

constexpr std::uint32_t mxcsr_control = 0xFFC0;  // below are the sticky exception flags
constexpr std::uint16_t x87_precision = 0x300;  // 00: 24 bits
constexpr std::uint16_t x87_top = 0x3800;
#endif

}  // namespace

std::string call_harshly(ZELFunction function, int &returned) {
  std::string changed;
#if defined(__i386__) || defined(__x86_64__)
  const Image host = save();
  const bool x87 = sizeof(void *) == 4;
  if (x87) set_control(static_cast<std::uint16_t>(state_of(host).control & ~x87_precision));
  const State before = state_of(save());
  returned = call(function, changed);
  const State after = state_of(save());
  // The whole state back as the host had it, whatever the function left, so
  // that each call is judged on its own.
  asm volatile("fxrstor %0" : : "m"(host));
  if ((after.mxcsr & mxcsr_control) != (before.mxcsr & mxcsr_control)) add(changed, "the MXCSR changed");
  if (x87 && after.control != before.control) add(changed, "the x87 control word changed");
  if (x87 && (after.tags != before.tags || (after.status & x87_top) != (before.status & x87_top)))
    add(changed, "the x87 register stack changed");
#else
  returned = call(function, changed);
#endif
  return changed;
}

}  // namespace tools
