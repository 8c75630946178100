// A test library whose second function crashes the host: by then zelhost
// must have passed on the first one's result.
#include "zeltools.h"

#include <cstdlib>

extern "C" {

__attribute__((visibility("default"))) int ZEL_CALL One(void) { return ZELSetDouble(1.0); }

__attribute__((visibility("default"))) int ZEL_CALL Crash(void) { std::abort(); }

__attribute__((visibility("default"))) int ZEL_CALL OnInit(void) {
  AddFunctionCall(One, "Numeric One()");
  return AddFunctionCall(Crash, "Numeric Crash()");
}

}  // extern "C"
