/* zelextensions: extension functions for the host's language, those that
 * zelfunctions.h lists.
 *
 * The host loads the library, calls OnInit once to register the functions,
 * then calls a function whenever its language does. Everything but these
 * exports is hidden; a Windows DLL exports them under these plain names,
 * through the export list that the build makes from zelfunctions.h. A C
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

/* Registers the extension functions with the host, in the list's order. */
ZELEXT_API int ZEL_CALL OnInit(void);

/* Each extension function: no parameters; see zelfunctions.h. */
#define ZEL_FUNCTION(name, declaration) ZELEXT_API int ZEL_CALL name(void);
#include "zelfunctions.h"

#ifdef __cplusplus
}
#endif

#endif
