/* zelextensions: two functions for the host's language.
 *
 *   String  FormatasTime(Numeric V)          seconds as clock text: 3661 -> "1:01:01"
 *   Numeric DateDiff(Date V1, Date V2)       days from V1 to V2, fractions included
 *
 * The host loads the library, calls OnInit once to register both functions,
 * then calls a function whenever its language does. Everything but these
 * exports is hidden; a Windows DLL exports them under these plain names,
 * as src/zelextensions.def lists them. A C
 * interface: include it from C99 or C++. */
#ifndef ZELEXTENSIONS_H
#define ZELEXTENSIONS_H

#include "zeltools.h"

#if defined(_WIN32)
#define ZELEXT_API
#else
#define ZELEXT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the extension functions with the host, FormatasTime first. */
ZELEXT_API int ZEL_CALL OnInit(void);

ZELEXT_API int ZEL_CALL FormatasTime(void);
ZELEXT_API int ZEL_CALL DateDiff(void);

#ifdef __cplusplus
}
#endif

#endif
