// A test library that misbehaves, each way on demand: Crash() crashes the
// host, by when zelhost must have passed on One()'s result; Thread()
// registers from another thread during its invocation; Stray() sets a result
// from another thread. ZEL_ROGUE in the environment picks what happens when
// it loads: "constructor" registers from a static constructor, before any
// OnInit; "oninit" sets a result in OnInit; "untexted" registers without a
// declaration text.
#include "zeltools.h"

#include <cstdlib>
#include <string_view>
#include <thread>

namespace {

std::string_view rogue() {
  const char *how = std::getenv("ZEL_ROGUE");
  return how ? how : "";
}

[[maybe_unused]] const bool constructed = rogue() == "constructor" && AddFunctionCall([] { return 0; }, "Numeric Early()");

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int ZEL_CALL One(void) { return ZELSetDouble(1.0); }

__attribute__((visibility("default"))) int ZEL_CALL Crash(void) { std::abort(); }

__attribute__((visibility("default"))) int ZEL_CALL Thread(void) {
  std::thread([] { AddFunctionCall(One, "Numeric Two()"); }).join();
  return ZELSetDouble(1.0);
}

__attribute__((visibility("default"))) int ZEL_CALL Stray(void) {
  std::thread([] { ZELSetDouble(1.0); }).join();
  return 0;
}

__attribute__((visibility("default"))) int ZEL_CALL OnInit(void) {
  if (rogue() == "oninit") return ZELSetDouble(1.0);
  if (rogue() == "untexted") return AddFunctionCall(One, nullptr);
  AddFunctionCall(One, "Numeric One()");
  AddFunctionCall(Thread, "Numeric Thread()");
  AddFunctionCall(Stray, "Numeric Stray()");
  return AddFunctionCall(Crash, "Numeric Crash()");
}

}  // extern "C"
