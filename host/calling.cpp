// The stand-in's calls of a library's functions: on a misaligned stack and
// in a hostile floating-point state, with that state, the stack pointer,
// the direction flag and the registers that the callee must keep checked
// after.
#include "calling.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace tools {
namespace {

// Adds `what` to the phrases of `changed`.
void add(std::string &changed, const std::string &what) { changed += (changed.empty() ? "left " : "; left ") + what; }

}  // namespace
}  // namespace tools

#if defined(_WIN32) && defined(__i386__)
#define ZEL_KEPT "ebx", "esi", "edi", "ebp"
#elif defined(__linux__) && defined(__x86_64__)
#define ZEL_KEPT "rbx", "rbp", "r12", "r13", "r14", "r15"
#endif

#if defined(ZEL_KEPT)
namespace tools {
namespace {

// What the calling convention makes a function keep, as a call found it and
// as the function left it: the stack pointer at the call, the registers the
// callee saves (holding values of the stand-in's own) and the flags, whose
// direction flag is clear at a call and must be at the return. `frame` is
// the stand-in's own stack pointer, from which it takes back what it keeps.
constexpr const char *kept_names[] = {ZEL_KEPT};
struct Registers {
  std::uintptr_t sp;
  std::uintptr_t kept[std::size(kept_names)];
  std::uintptr_t flags;
};
struct Checked {
  Registers before, after;
  std::uintptr_t frame;
};
constexpr std::uintptr_t direction_flag = 0x400;
// The offsets that the assembly writes at.
static_assert(offsetof(Checked, after) == (std::size(kept_names) + 2) * sizeof(void *));
static_assert(offsetof(Checked, frame) == 2 * (std::size(kept_names) + 2) * sizeof(void *));

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
  if (!registers.empty()) add(changed, registers + " changed");
  if ((after.flags & direction_flag) != (before.flags & direction_flag)) add(changed, "the direction flag set");
}

}  // namespace
}  // namespace tools
#endif

#if defined(_WIN32) && defined(__i386__)
// One call at a time: after it, nothing but a fixed address leads back to
// the stand-in's frame, since the function may have changed every register.
extern "C" tools::Checked zel_checked;
tools::Checked zel_checked;

// Calls `function` with the stack pointer `offset` (4, 8 or 12) mod 16 at the
// call. 32-bit Windows promises only 4-byte alignment there, and a host
// built by MSVC calls at any multiple of 4. The stand-in's own code, from
// MinGW GCC, keeps 16-byte alignment and relies on it, so only this call is
// misaligned: the library's code must not rely on more than 4. It records
// the registers in zel_checked before and after, and takes its own back.
extern "C" int zel_call_checked(ZELFunction function, std::uint32_t offset);
asm(R"(
  # The stack pointer and the kept registers, at byte `at` of zel_checked.
  .macro zel_record at
  movl %esp, _zel_checked+\at
  movl %ebx, _zel_checked+\at+4
  movl %esi, _zel_checked+\at+8
  movl %edi, _zel_checked+\at+12
  movl %ebp, _zel_checked+\at+16
  .endm
  .text
  .globl _zel_call_checked
_zel_call_checked:
  pushl %ebp
  movl %esp, %ebp
  pushl %ebx
  pushl %esi
  pushl %edi
  movl %esp, _zel_checked+48
  movl 8(%ebp), %eax
  andl $-16, %esp
  subl $16, %esp
  addl 12(%ebp), %esp
  movl $0x0B0B0B0B, %ebx
  movl $0x5E5E5E5E, %esi
  movl $0xD1D1D1D1, %edi
  cld
  zel_record 0
  pushfl
  popl _zel_checked+20
  call *%eax
  zel_record 24
  movl _zel_checked+48, %esp
  pushfl
  popl _zel_checked+44
  cld
  popl %edi
  popl %esi
  popl %ebx
  popl %ebp
  ret
)");

namespace tools {
namespace {
std::mutex checking;

int call(ZELFunction function, std::string &changed) {
  thread_local std::uint32_t offset = 0;
  offset = offset % 12 + 4;
  std::lock_guard lock(checking);
  const int returned = zel_call_checked(function, offset);
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
