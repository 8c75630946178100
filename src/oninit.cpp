// OnInit: registers each extension function with the host, in the order of
// the table, each under its declaration text. The texts are static, so the
// host may keep the pointers.
#include "zelextensions.h"

namespace {

struct Registration {
  ZELFunction function;
  const char *declaration;
};

constexpr Registration registrations[] = {
    {FormatasTime, "String FormatasTime(Numeric V)"},
    {DateDiff, "Numeric DateDiff(Date V1, Date V2)"},
};

}  // namespace

// Examines nothing and keeps no record: a refused registration does not stop
// the next one, and a second call registers everything again.
extern "C" int ZEL_CALL OnInit(void) {
  int result = 0;
  for (const Registration &r : registrations) result = AddFunctionCall(r.function, r.declaration);
  return result;
}
