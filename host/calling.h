// How the stand-in calls OnInit and the extension functions: as the
// harshest real host would, so that a library that passes it passes them.
#ifndef ZELHOST_CALLING_H
#define ZELHOST_CALLING_H

#include "zeltools.h"

#include <string>

namespace tools {

// Calls `function`, its result in `returned`. On 32-bit x86 Windows the
// stack pointer is 4, 8 or 12 mod 16 at the call, in turn. On x86 the x87
// precision is 24 bits during the call (and set back after), and what the
// function left changed is returned: the x87 control word or register stack
// (32-bit), or the MXCSR's control bits; empty if nothing.
std::string call_harshly(ZELFunction function, int &returned);

}  // namespace tools

#endif
