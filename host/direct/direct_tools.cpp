// The bare host operations that direct_tools.h describes: each Get hands out
// what the thread put in its frame, each Set leaves its result there.
#include "direct_tools.h"

#include "zeltools.h"

#include <cstring>

namespace direct {
thread_local Frame frame;
}

using direct::frame;

extern "C" {

int ZEL_CALL AddFunctionCall(ZELFunction, const char *) { return 0; }

int ZEL_CALL ZELGetSLong(std::int32_t *value) {
  *value = frame.number;
  return 0;
}

int ZEL_CALL ZELGetDateTime(std::int32_t *present, std::uint32_t *value) {
  const direct::DateArgument &date = frame.dates[frame.next_date++ & 1];
  *present = date.present;
  *value = date.value;
  return 0;
}

int ZEL_CALL ZELSetString(const char *text) {
  ++frame.sets;
  if (frame.expected) {
    frame.matches = std::strcmp(text, frame.expected) == 0;
  } else {
    std::strncpy(frame.text, text, sizeof frame.text - 1);
  }
  return 0;
}

int ZEL_CALL ZELSetDouble(double value) {
  ++frame.sets;
  frame.value = value;
  return 0;
}

}  // extern "C"
