// OnInit: registers each extension function with the host, in the order of
// the list (zelfunctions.h), each under its declaration text. The texts are
// static, so the host may keep the pointers.
#include "zelextensions.h"

namespace {

struct FunctionEntry {
  ZELFunction function;
  const char *declaration;
};

constexpr FunctionEntry functions[] = {
#define ZEL_FUNCTION(name, declaration) {name, declaration},
#include "zelfunctions.h"
};

}  // namespace

// Examines nothing and keeps no record: a refused registration does not stop
// the next one, and a second call registers everything again.
extern "C" int ZEL_CALL OnInit(void) {
  int result = 0;
  for (const FunctionEntry &f : functions) result = AddFunctionCall(f.function, f.declaration);
  return result;
}
