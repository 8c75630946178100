// The library's calls of the five host operations on 32-bit x86, for GCC and
// clang: one DLL for a host whose tools.dll is __cdecl and for one whose
// tools.dll is __stdcall. thunks_msvc.cpp is the same for cl and clang-cl.
//
// The two conventions differ only in who pops the arguments: a __stdcall
// operation pops them, a __cdecl one leaves them to its caller. Both keep
// ebx, esi, edi and ebp, and return in eax. So each thunk, a __cdecl function
// under the operation's own name, keeps its caller's stack pointer in ebp,
// pushes copies of its arguments, calls the operation through the DLL's
// import table (__imp__<name>, imported by plain name), and takes the stack
// pointer back from ebp: the same stack whichever convention the operation
// has, and its result passed on in eax.
asm(R"(
  .macro zel_thunk name, words
  .text
  .globl _\name
  .def _\name; .scl 2; .type 32; .endef
_\name:
  pushl %ebp
  movl %esp, %ebp
  .if \words == 2
  pushl 12(%ebp)
  .endif
  pushl 8(%ebp)
  call *__imp__\name
  leave
  ret
  .endm

  zel_thunk AddFunctionCall, 2
  zel_thunk ZELGetSLong, 1
  zel_thunk ZELGetDateTime, 2
  zel_thunk ZELSetString, 1
  zel_thunk ZELSetDouble, 2
)");
