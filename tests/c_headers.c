/* The public headers, included from C: an extension written in C sees the
 * same operations and exports as one written in C++. */
#include "zelextensions.h"
#include "zeltools.h"

int ZEL_CALL c_extension(void);

int ZEL_CALL c_extension(void) {
  int32_t present = 0;
  uint32_t date = 0;
  const ZELFunction exports[] = {
      OnInit,
#define ZEL_FUNCTION(name, declaration) name,
#include "zelfunctions.h"
  };
  ZELGetDateTime(&present, &date);
  ZELGetSLong(&present);
  ZELSetString("C");
  ZELSetDouble(date);
  return AddFunctionCall(exports[present & 1], "Numeric C()");
}
