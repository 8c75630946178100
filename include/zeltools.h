// The five operations of the host's library `tools` that the extension
// functions use: one registers an extension function, two fetch the
// arguments of the current call in declaration order, two deliver its
// result. No result of any of them is examined by the library; they return
// int only so that an extension function can pass the last one on.
#ifndef ZELTOOLS_H
#define ZELTOOLS_H

#include <cstdint>

// The host's calling convention, in one place: a host with another
// convention is a one-line change here.
#if defined(_WIN32) && !defined(_WIN64)
#define ZEL_CALL __cdecl
#else
#define ZEL_CALL
#endif

extern "C" {

// An extension function: no parameters; its arguments and its result pass
// only through the operations below.
typedef int(ZEL_CALL *ZELFunction)(void);

// Registers `function` under `declaration`, a static text such as
// "String FormatasTime(Numeric V)" that the host may keep.
int ZEL_CALL AddFunctionCall(ZELFunction function, const char *declaration);

// Writes the next argument, converted to a signed 32-bit integer.
int ZEL_CALL ZELGetSLong(std::int32_t *value);

// For the next argument, writes `present` (nonzero when it holds a date) on
// every call and `value`, seconds from the host's epoch, only when present.
int ZEL_CALL ZELGetDateTime(std::int32_t *present, std::uint32_t *value);

// Sets the result to a copy of the NUL-terminated text.
int ZEL_CALL ZELSetString(const char *text);

// Sets the result to the number.
int ZEL_CALL ZELSetDouble(double value);

}  // extern "C"

#endif
