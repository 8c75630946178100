// The library's calls of the five host operations on 32-bit x86, for cl and
// clang-cl: naked functions of inline assembly. thunks_gnu.cpp is the same
// for GCC and clang, and says why.
#include "zeltools.h"

// The import table's entries, __imp__<name>: a C name gains one underscore.
extern "C" void *_imp__AddFunctionCall, *_imp__ZELGetSLong, *_imp__ZELGetDateTime, *_imp__ZELSetString,
    *_imp__ZELSetDouble;

// The body of a thunk: pushes the argument words that `pushes` names, last
// first, calls `name` and restores the stack pointer from ebp, whoever popped
// them. The entry is loaded into eax first: clang-cl 14 reads "call dword ptr
// [entry]" as a direct call of the entry's address.
#define ZEL_ARGUMENT(word) __asm push dword ptr [ebp + 4 + 4 * word]
#define ZEL_THUNK(name, pushes) \
  __asm push ebp __asm mov ebp, esp pushes __asm mov eax, _imp__##name __asm call eax __asm leave __asm ret

extern "C" {
__declspec(naked) int ZEL_CALL AddFunctionCall(ZELFunction, const char *) {
  ZEL_THUNK(AddFunctionCall, ZEL_ARGUMENT(2) ZEL_ARGUMENT(1))
}
__declspec(naked) int ZEL_CALL ZELGetSLong(int32_t *) { ZEL_THUNK(ZELGetSLong, ZEL_ARGUMENT(1)) }
__declspec(naked) int ZEL_CALL ZELGetDateTime(int32_t *, uint32_t *) {
  ZEL_THUNK(ZELGetDateTime, ZEL_ARGUMENT(2) ZEL_ARGUMENT(1))
}
__declspec(naked) int ZEL_CALL ZELSetString(const char *) { ZEL_THUNK(ZELSetString, ZEL_ARGUMENT(1)) }
__declspec(naked) int ZEL_CALL ZELSetDouble(double) { ZEL_THUNK(ZELSetDouble, ZEL_ARGUMENT(2) ZEL_ARGUMENT(1)) }
}
