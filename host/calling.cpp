// The stand-in's calls of a library's functions: on a misaligned stack and
// in a hostile floating-point state, with that state checked after.
#include "calling.h"

#include <cstdint>
#include <cstring>

namespace tools {
namespace {

#if defined(_WIN32) && defined(__i386__)
// Calls `function` with the stack pointer `offset` (4, 8 or 12) mod 16 at the
// call. 32-bit Windows promises only 4-byte alignment there, and a host
// built by MSVC calls at any multiple of 4. The stand-in's own code, from
// MinGW GCC, keeps 16-byte alignment and relies on it, so only this call is
// misaligned: the library's code must not rely on more than 4.
extern "C" int zel_call_misaligned(ZELFunction function, std::uint32_t offset);
asm(R"(
  .text
  .globl _zel_call_misaligned
_zel_call_misaligned:
  pushl %ebp
  movl %esp, %ebp
  movl 8(%ebp), %eax
  andl $-16, %esp
  subl $16, %esp
  addl 12(%ebp), %esp
  call *%eax
  leave
  ret
)");

int call(ZELFunction function) {
  thread_local std::uint32_t offset = 0;
  offset = offset % 12 + 4;
  return zel_call_misaligned(function, offset);
}
#else
int call(ZELFunction function) { return function(); }
#endif

#if defined(__i386__) || defined(__x86_64__)
// The floating-point state that a function must leave as it found it.
struct State {
  std::uint16_t control;  // x87
  std::uint16_t status;   // x87; its bits 11-13 are the stack's top
  std::uint8_t tags;      // x87, one bit a register in use
  std::uint32_t mxcsr;
};

State state() {
  alignas(16) unsigned char area[512];
  asm volatile("fxsave %0" : "=m"(area));
  State s{};
  std::memcpy(&s.control, area, 2);
  std::memcpy(&s.status, area + 2, 2);
  s.tags = area[4];
  std::memcpy(&s.mxcsr, area + 24, 4);
  return s;
}

void set_control(std::uint16_t control) { asm volatile("fldcw %0" : : "m"(control)); }

constexpr std::uint32_t mxcsr_control = 0xFFC0;  // below are the sticky exception flags
constexpr std::uint16_t x87_precision = 0x300;  // 00: 24 bits
constexpr std::uint16_t x87_top = 0x3800;
#endif

}  // namespace

std::string call_harshly(ZELFunction function, int &returned) {
#if defined(__i386__) || defined(__x86_64__)
  const State host = state();
  const bool x87 = sizeof(void *) == 4;
  if (x87) set_control(static_cast<std::uint16_t>(host.control & ~x87_precision));
  const State before = state();
  returned = call(function);
  const State after = state();
  if (x87) set_control(host.control);
  if ((after.mxcsr & mxcsr_control) != (before.mxcsr & mxcsr_control)) return "left the MXCSR changed";
  if (x87 && after.control != before.control) return "left the x87 control word changed";
  if (x87 && (after.tags != before.tags || (after.status & x87_top) != (before.status & x87_top)))
    return "left the x87 register stack changed";
  return {};
#else
  returned = function();
  return {};
#endif
}

}  // namespace tools
