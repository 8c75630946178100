/* The five operations of the host's library `tools` that the extension
 * functions use: one registers an extension function, two fetch the
 * arguments of the current call in declaration order, two deliver its
 * result. No result of any of them is examined by the library; they return
 * int only so that an extension function can pass the last one on.
 *
 * A C interface: include it from C99 or C++. */
#ifndef ZELTOOLS_H
#define ZELTOOLS_H

#include <stdint.h>

/* The calling convention of the operations on 32-bit Windows, in one place:
 * __cdecl, or __stdcall where ZEL_STDCALL is defined (the build defines it
 * for a stand-in host built with ZEL_CALLING_CONVENTION=stdcall). The
 * library is built __cdecl and calls a host's operations of either
 * convention through thunks (src/thunks_*.cpp). Other targets have one
 * convention. */
#if defined(_WIN32) && !defined(_WIN64)
#if defined(ZEL_STDCALL)
#define ZEL_CALL __stdcall
#else
#define ZEL_CALL __cdecl
#endif
#else
#define ZEL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An extension function: no parameters; its arguments and its result pass
 * only through the operations below. */
typedef int(ZEL_CALL *ZELFunction)(void);

/* Registers `function` under `declaration`, a static text such as
 * "String FormatasTime(Numeric V)" that the host may keep. */
int ZEL_CALL AddFunctionCall(ZELFunction function, const char *declaration);

/* Writes the next argument, converted to a signed 32-bit integer. */
int ZEL_CALL ZELGetSLong(int32_t *value);

/* For the next argument, writes `present` (nonzero when it holds a date) on
 * every call and `value`, seconds from the host's epoch, only when present. */
int ZEL_CALL ZELGetDateTime(int32_t *present, uint32_t *value);

/* Sets the result to a copy of the NUL-terminated text. */
int ZEL_CALL ZELSetString(const char *text);

/* Sets the result to the number. */
int ZEL_CALL ZELSetDouble(double value);

#ifdef __cplusplus
}
#endif

#endif
