// The five host operations at their barest, for tests that call the
// library's functions directly, billions of times: the Gets hand out what the
// current thread put in `direct::frame`, the Sets leave their result there.
// No checks, no allocation, no locks.
#ifndef DIRECT_TOOLS_H
#define DIRECT_TOOLS_H

#include <cstdint>

namespace direct {

struct DateArgument {
  std::int32_t present;
  std::uint32_t value;  // written by the Get whether present or not
};

struct Frame {
  std::int32_t number = 0;
  DateArgument dates[2] = {};
  int next_date = 0;
  // When set, ZELSetString compares its text with this one instead of
  // copying it.
  const char *expected = nullptr;
  bool matches = false;
  char text[32] = {};
  double value = 0;
  int sets = 0;
};

extern thread_local Frame frame;

}  // namespace direct

#endif
