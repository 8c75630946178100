// How the stand-in calls OnInit and the extension functions: as the
// harshest real host would, so that a library that passes it passes them.
#ifndef ZELHOST_CALLING_H
#define ZELHOST_CALLING_H

#include "zeltools.h"

#include <string>

namespace tools {

// Calls `function`, its result in `returned`, and returns what it left
// changed that it must keep, empty if nothing. On 32-bit x86 Windows the
// stack pointer is 4, 8 or 12 mod 16 at the call, in turn. On Windows and
// 64-bit Linux the stack pointer, the direction flag and the callee-saved
// registers are checked; on Windows also the segment registers and a guard
// span above the return address. On x86 the x87 precision is 24 bits during the
// call, and the x87 control word and register stack (32-bit) and the
// MXCSR's control bits are checked; the whole floating-point state is set
// back after.
std::string call_harshly(ZELFunction function, int &returned);

}  // namespace tools

#endif
